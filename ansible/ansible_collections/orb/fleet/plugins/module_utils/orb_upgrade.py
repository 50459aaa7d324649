# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)
#
# What orb.fleet's modules share: finding orb-upgrade on the managed host,
# reading its JSON events per adapter, and short messages about many adapters.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import re

from ansible.module_utils.six import string_types

STATUS_FIELDS = ('serial', 'mac', 'software', 'hardware', 'product', 'current', 'image-version')
RESULT_FIELDS = ('result', 'code', 'version', 'image-version', 'error', 'uploaded', 'text')
# Lines of other output quoted in a failure message, the last ones.
QUOTED_LINES = 10
# Adapters described one by one in a message; the rest are counted.
DESCRIBED_ADAPTERS = 10
# orb-upgrade's longest time limit, in seconds.
MAX_TIMEOUT_S = 9999

# What a result means when the error box's text would mislead: the program
# presses Cancel itself there, and the box says "User Abort".
EXPLAINED = {
    'authentication-refused': 'the adapter refused the password, or wanted one and none was given',
    'no-request': 'the adapter never asked for the image',
    'cancelled': 'the run was stopped',
}


def canonical_address(text):
    """The address as orb-upgrade writes it, so that results match what was asked for."""
    if re.match(r'^[0-9]+(\.[0-9]+){3}$', text):
        return '.'.join(str(int(part)) for part in text.split('.'))
    return text


def read_events(stdout):
    """Each adapter's status and result fields, its other output, whether the whole image was sent to it and
    whether its run reported a fault; and the lines that are no events."""
    adapters = {}
    others = []
    for line in stdout.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            event = None
        if not isinstance(event, dict) or not isinstance(event.get('adapter'), string_types):
            if line.strip():
                others.append(line)
            continue
        kind = event.get('event')
        fields = {'status': STATUS_FIELDS, 'result': RESULT_FIELDS}.get(kind, ())
        # Only an adapter's own events: "totals" and the like name "all".
        if kind not in ('output', 'upload', 'fault') and not fields:
            continue
        entry = adapters.setdefault(event['adapter'], {})
        if kind == 'output':
            entry.setdefault('output', []).append(str(event.get('text', '')))
        elif kind == 'upload':
            # Every byte acknowledged: the adapter was written, whatever its result says later, or if none comes.
            if event.get('size') and event.get('bytes') == event.get('size'):
                entry['image_sent'] = True
        elif kind == 'fault':
            entry['fault'] = str(event.get('text', ''))
        else:
            for name in fields:
                if name in event:
                    entry[name.replace('-', '_')] = event[name]
    for entry in adapters.values():
        if entry.get('uploaded') is True:
            entry['image_sent'] = True
    return adapters, others


def in_order(asked, results):
    """The adapters asked for first, in their order, then any other the program reported; each with a result."""
    order = []
    for address in [canonical_address(a) for a in asked] + list(results):
        if address not in order:
            order.append(address)
    for address in order:
        results.setdefault(address, {}).setdefault('result', None)
    return order


def describe(address, entry):
    result = entry.get('result')
    if result is None:
        text = '%s: no result reported' % address
        if entry.get('image_sent'):
            text += ' (the whole image was sent to it)'
    elif result in EXPLAINED:
        text = '%s: %s (%s)' % (address, result, EXPLAINED[result])
    elif entry.get('error'):
        text = '%s: %s (%s)' % (address, result, entry['error'])
    else:
        text = '%s: %s' % (address, result)
    if entry.get('fault'):
        text += '; its run reported a second result: %s' % entry['fault']
    output = entry.get('output', [])[-QUOTED_LINES:]
    if output:
        text += ', saying: ' + ' | '.join(output)
    return text


def describe_failures(failed, results, total):
    """'N of M adapters failed: ...' naming the first few, then a count of the others."""
    described = '; '.join(describe(a, results[a]) for a in failed[:DESCRIBED_ADAPTERS])
    more = len(failed) - DESCRIBED_ADAPTERS
    if more > 0:
        described += '; and %d more (see failed_adapters and adapter_results)' % more
    return '%d of %d adapters failed: %s' % (len(failed), total, described)


def with_output(msg, stderr, others):
    lines = others[-QUOTED_LINES:] + stderr.splitlines()[-QUOTED_LINES:]
    if lines:
        msg += '; its output: ' + ' | '.join(lines)
    return msg


def find_executable(module, executable, **failure):
    """The program's path, or a failure that says what to do about it."""
    if os.sep not in executable:
        found = module.get_bin_path(executable)
        if found is None:
            module.fail_json(msg='%s was not found on the PATH of the managed host: install the Debian package '
                                 'orb-upgrade there, or give its path in executable' % executable, **failure)
        return found
    if not os.path.isfile(executable):
        module.fail_json(msg='%s does not exist on the managed host: install the Debian package orb-upgrade '
                             'there, or give the right path in executable' % executable, **failure)
    if not os.access(executable, os.X_OK):
        module.fail_json(msg='%s is not executable on the managed host' % executable, **failure)
    return executable


def base_command(executable, params, limits):
    """The options both modules pass: the adapters, the PC address, the user, and the time limits named."""
    cmd = [executable, '--unattended', '--accept-warning', '--json']
    for address in params['adapters']:
        cmd += ['--address', address]
    if params.get('pc_address') is not None:
        cmd += ['--pc-address', params['pc_address']]
    cmd += ['--user', params['user']]
    cmd += ['--parallel', str(params['parallel'])]
    for name in limits:
        if params.get(name) is not None:
            cmd += ['--' + name.replace('_', '-'), str(params[name])]
    return cmd


def check_ranges(module, params, names, **failure):
    if not params['adapters']:
        module.fail_json(msg='adapters names no adapter', **failure)
    if not 1 <= params['parallel'] <= 1000:
        module.fail_json(msg='parallel must be 1 to 1000, not %d' % params['parallel'], **failure)
    for name in names:
        if params.get(name) is not None and not 0 <= params[name] <= MAX_TIMEOUT_S:
            module.fail_json(msg='%s must be 0 (no limit) to %d seconds, not %d' % (name, MAX_TIMEOUT_S,
                                                                                    params[name]), **failure)
