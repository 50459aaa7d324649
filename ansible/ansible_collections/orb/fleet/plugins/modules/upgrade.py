#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: upgrade
short_description: Upgrade the firmware of ORB adapters with orb-upgrade
version_added: "1.0.0"
description:
  - Runs C(orb-upgrade --unattended --json) on the managed host for the given adapters and reports the result
    of each.
  - Run it on a computer on the adapters' own network, with the Debian package C(orb-upgrade) installed there.
    Each adapter fetches the image from that computer over TFTP, on UDP port 69 and up (one port per adapter
    upgraded at once).
  - An adapter that already runs the version the program carries is left alone (result C(current)), so a second
    run changes nothing.
  - The password reaches the program in the environment variable C(ORB_PASSWORD), never on its command line.
  - An upgrade takes about a minute, most of it the adapter's restart.
options:
  adapters:
    description:
      - The adapters' IPv4 addresses, in decimal (C(10.1.0.008) is C(10.1.0.8)).
    type: list
    elements: str
    required: true
  user:
    description:
      - The adapters' administrator name.
    type: str
    default: admin
  password:
    description:
      - The administrator's password (1 to 126 bytes).
      - Left out, orb-upgrade takes C(ORB_PASSWORD) from the task's environment, if it is set there.
    type: str
  pc_address:
    description:
      - The managed host's address that the adapters fetch the image from. It must be one of its own addresses.
      - Left out, the program takes the host's first address that is not a loopback one.
    type: str
  parallel:
    description:
      - How many adapters to upgrade at once, 1 to 1000. The runs take turns at the host's 100 listener ports and
        101 HTTP local ports; the others wait for their adapters' restarts meanwhile.
      - A firewall on the managed host must let the adapters reach UDP ports 69 to 69 + I(parallel) - 1 (69 to 168
        from 100 on).
    type: int
    default: 4
  force:
    description:
      - Upgrade also the adapters that already run the version the program carries.
    type: bool
    default: false
  request_timeout:
    description:
      - Seconds to wait for an adapter's TFTP read request after the trigger before giving up on it (result
        C(no-request)); C(0) waits for ever.
      - Left out, the program's default, 120.
    type: int
  http_timeout:
    description:
      - Seconds an adapter may take to finish an HTTP answer before it is given up (result C(not-reachable),
        or C(no-answer-after-upload) after the upload); C(0) waits for ever.
      - Left out, the program's default, 60.
    type: int
  executable:
    description:
      - The orb-upgrade program, a name looked up on the C(PATH) or a path.
    type: path
    default: orb-upgrade
attributes:
  check_mode:
    description:
      - Runs C(orb-upgrade --check), which reads each adapter's status page and sends no upgrade trigger.
      - C(changed) then says whether a real run would write any adapter (C(needs-upgrade), or C(current) with
        I(force)).
    support: full
  diff_mode:
    description:
      - For each adapter whose status page was read, the software version before and the version it runs after
        the upgrade (in check mode, the version it would run).
    support: full
  platform:
    description: Runs on the managed host, a Debian computer on the adapters' own network.
    support: full
    platforms: posix
notes:
  - C(changed) is true when any adapter took the whole image (its result's C(uploaded)), whether its run then
    succeeded or failed, since its firmware was written.
  - The task fails when any adapter fails; its message names each failed adapter with its result and the last
    lines of the program's output about it, and I(adapter_results) still holds every adapter's result.
  - An upgrade takes about a minute, most of it the adapters' restart; a large site can take longer. Run the task
    with C(async) and C(poll) so that the connection is not held that long (see the examples).
seealso:
  - module: ansible.builtin.apt
    description: Installs the Debian package C(orb-upgrade) on the managed host.
  - module: ansible.builtin.async_status
    description: Reads the result of a task run with C(async) and C(poll=0).
  - ref: playbooks_async
    description: Running a long task without holding the connection (C(async) and C(poll)).
requirements:
  - The Debian package C(orb-upgrade) on the managed host; C(man orb-upgrade) there describes its unattended
    upgrades, results and exit statuses.
author:
  - ORB firmware upgrade utility maintainers (@orb-upgrade)
'''

EXAMPLES = r'''
- name: Upgrade the site's adapters
  orb.fleet.upgrade:
    adapters:
      - 10.1.0.123
      - 10.1.0.124
    pc_address: 10.1.0.2
    password: "{{ orb_password }}"
  register: orb

- name: Show the version each adapter runs
  ansible.builtin.debug:
    msg: "{{ item.key }}: {{ item.value.version }}"
  loop: "{{ orb.adapter_results | dict2items }}"

- name: Which adapters would be upgraded (nothing is changed)
  orb.fleet.upgrade:
    adapters: "{{ orb_adapters }}"
    password: "{{ orb_password }}"
  check_mode: true
  register: orb_plan

- name: A large site, without holding the connection for the whole run
  orb.fleet.upgrade:
    adapters: "{{ orb_adapters }}"
    password: "{{ orb_password }}"
    parallel: 20
    request_timeout: 300
  async: 3600  # seconds the run may take at most
  poll: 15     # look at it every 15 seconds
  register: orb
'''

RETURN = r'''
adapter_results:
  description:
    - Each adapter's result, keyed by its address as orb-upgrade writes it (decimal, without leading zeros).
    - The fields of the status page are there when it was read.
  returned: when orb-upgrade ran past its command line
  type: dict
  contains:
    result:
      description:
        - C(success) (upgraded), C(current) (already runs the program's version; nothing sent),
          C(needs-upgrade) (check mode only), or a failure - C(usage-error), C(not-reachable),
          C(authentication-refused), C(upload-incomplete), C(no-answer-after-upload), C(wrong-version),
          C(cancelled), C(failed), C(no-request), C(run-timeout). None when the program reported no result for
          the adapter.
      type: str
      sample: success
    code:
      description: The result's exit status, as orb-upgrade would end with for this adapter alone.
      type: int
      sample: 0
    version:
      description: The software version the adapter reported at the end (empty when it did not answer).
      type: str
      sample: 2.0.10(a)
    image_version:
      description: The version of the image that orb-upgrade carries.
      type: str
      sample: 2.0.10(a)
    error:
      description: The text of the error box the run ended with; empty on success.
      type: str
      sample: "Upgrade Failed: User Abort"
    uploaded:
      description: Whether every byte of the image was acknowledged (the adapter has it, even if the run failed).
      type: bool
      sample: true
    text:
      description: The result as a line for a person.
      type: str
      sample: "result: success, version 2.0.10(a)"
    output:
      description:
        - The lines the program printed about the adapter that were no events of its own (a port that could not
          be bound, for example).
      type: list
      elements: str
      sample: []
    serial:
      description: The serial number from the status page.
      type: str
      sample: ORB41000001
    mac:
      description: The MAC address from the status page.
      type: str
      sample: 00:1A:2B:3C:4D:5E
    software:
      description: The software version from the status page, before any upgrade.
      type: str
      sample: 1.0.2
    hardware:
      description: The hardware version from the status page.
      type: str
      sample: 4100-A1
    product:
      description: The product name from the status page.
      type: str
      sample: ORB4100
    current:
      description: Whether the status page showed the version the program carries.
      type: bool
      sample: false
  sample:
    10.1.0.123:
      result: success
      code: 0
      version: 2.0.10(a)
      image_version: 2.0.10(a)
      error: ""
      uploaded: true
      text: "result: success, version 2.0.10(a)"
      serial: ORB41000001
      mac: 00:1A:2B:3C:4D:5E
      software: 1.0.2
      hardware: 4100-A1
      product: ORB4100
      current: false
upgraded:
  description: The adapters upgraded; in check mode, the adapters that would be.
  returned: always
  type: list
  elements: str
  sample: [10.1.0.123]
failed_adapters:
  description: The adapters whose run failed or reported no result.
  returned: always
  type: list
  elements: str
  sample: []
rc:
  description: orb-upgrade's exit status.
  returned: when orb-upgrade ran
  type: int
  sample: 0
cmd:
  description: orb-upgrade's command line (the password is never on it).
  returned: when orb-upgrade ran
  type: list
  elements: str
stderr:
  description: orb-upgrade's standard error.
  returned: when orb-upgrade ran
  type: str
  sample: ""
output_lines:
  description: The lines of orb-upgrade's output that were no JSON events.
  returned: when orb-upgrade ran
  type: list
  elements: str
  sample: []
'''

import json
import os
import re

from ansible.module_utils.basic import AnsibleModule

STATUS_FIELDS = ('serial', 'mac', 'software', 'hardware', 'product', 'current', 'image-version')
RESULT_FIELDS = ('result', 'code', 'version', 'image-version', 'error', 'uploaded', 'text')
# Lines of other output quoted in a failure message, the last ones.
QUOTED_LINES = 10
# orb-upgrade's longest time limit, in seconds.
MAX_TIMEOUT_S = 9999


def canonical_address(text):
    """The address as orb-upgrade writes it, so that results match what was asked for."""
    if re.match(r'^[0-9]+(\.[0-9]+){3}$', text):
        return '.'.join(str(int(part)) for part in text.split('.'))
    return text


def build_command(executable, params, check_mode):
    cmd = [executable, '--unattended', '--accept-warning', '--json']
    for address in params['adapters']:
        cmd += ['--address', address]
    if params['pc_address'] is not None:
        cmd += ['--pc-address', params['pc_address']]
    cmd += ['--user', params['user']]
    cmd += ['--parallel', str(params['parallel'])]
    for name in ('request_timeout', 'http_timeout'):
        if params[name] is not None:
            cmd += ['--' + name.replace('_', '-'), str(params[name])]
    if params['force']:
        cmd.append('--force')
    if check_mode:
        cmd.append('--check')
    return cmd


def read_events(stdout):
    """Each adapter's status and result fields and its other output, and the lines that are no events."""
    adapters = {}
    others = []
    for line in stdout.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            event = None
        if not isinstance(event, dict) or not isinstance(event.get('adapter'), str):
            if line.strip():
                others.append(line)
            continue
        kind = event.get('event')
        if kind == 'output':
            entry = adapters.setdefault(event['adapter'], {})
            entry.setdefault('output', []).append(str(event.get('text', '')))
            continue
        fields = {'status': STATUS_FIELDS, 'result': RESULT_FIELDS}.get(kind)
        if fields is None:
            continue
        entry = adapters.setdefault(event['adapter'], {})
        for name in fields:
            if name in event:
                entry[name.replace('-', '_')] = event[name]
    return adapters, others


def describe(address, entry):
    if entry.get('result') is None:
        text = '%s: no result reported' % address
    elif entry.get('error'):
        text = '%s: %s (%s)' % (address, entry['result'], entry['error'])
    else:
        text = '%s: %s' % (address, entry['result'])
    output = entry.get('output', [])[-QUOTED_LINES:]
    if output:
        text += ', saying: ' + ' | '.join(output)
    return text


def with_output(msg, stderr, others):
    lines = others[-QUOTED_LINES:] + stderr.splitlines()[-QUOTED_LINES:]
    if lines:
        msg += '; its output: ' + ' | '.join(lines)
    return msg


def would_write(entry, force):
    """In check mode: whether the same run without --check would write the adapter."""
    return entry['result'] == 'needs-upgrade' or (force and entry['result'] == 'current')


def version_diffs(order, results, check_mode, force):
    """Before and after per adapter whose status page was read, as ansible.builtin modules show a diff."""
    diffs = []
    for address in order:
        entry = results[address]
        if 'software' not in entry:
            continue
        before = entry['software']
        if check_mode:
            after = entry.get('image_version', before) if would_write(entry, force) else before
        else:
            after = entry.get('version') or before
        diffs.append(dict(before_header='%s (software version)' % address, after_header=address,
                          before='%s\n' % before, after='%s\n' % after))
    return diffs


def find_executable(module, executable):
    """The program's path, or a failure that says what to do about it."""
    if os.sep not in executable:
        found = module.get_bin_path(executable)
        if found is None:
            module.fail_json(msg='%s was not found on the PATH of the managed host: install the Debian package '
                                 'orb-upgrade there, or give its path in executable' % executable,
                             upgraded=[], failed_adapters=[])
        return found
    if not os.path.isfile(executable):
        module.fail_json(msg='%s does not exist on the managed host: install the Debian package orb-upgrade '
                             'there, or give the right path in executable' % executable,
                         upgraded=[], failed_adapters=[])
    if not os.access(executable, os.X_OK):
        module.fail_json(msg='%s is not executable on the managed host' % executable, upgraded=[],
                         failed_adapters=[])
    return executable


def main():
    module = AnsibleModule(
        argument_spec=dict(
            adapters=dict(type='list', elements='str', required=True),
            user=dict(type='str', default='admin'),
            password=dict(type='str', no_log=True),
            pc_address=dict(type='str'),
            parallel=dict(type='int', default=4),
            force=dict(type='bool', default=False),
            request_timeout=dict(type='int'),
            http_timeout=dict(type='int'),
            executable=dict(type='path', default='orb-upgrade'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    upgraded = []
    failed = []
    if not params['adapters']:
        module.fail_json(msg='adapters names no adapter', upgraded=upgraded, failed_adapters=failed)
    if not 1 <= params['parallel'] <= 1000:
        module.fail_json(msg='parallel must be 1 to 1000, not %d' % params['parallel'],
                         upgraded=upgraded, failed_adapters=failed)
    for name in ('request_timeout', 'http_timeout'):
        if params[name] is not None and not 0 <= params[name] <= MAX_TIMEOUT_S:
            module.fail_json(msg='%s must be 0 (no limit) to %d seconds, not %d' % (name, MAX_TIMEOUT_S, params[name]),
                             upgraded=upgraded, failed_adapters=failed)

    executable = find_executable(module, params['executable'])
    cmd = build_command(executable, params, module.check_mode)
    environ = {}
    if params['password'] is not None:
        environ['ORB_PASSWORD'] = params['password']
    rc, stdout, stderr = module.run_command(cmd, environ_update=environ)
    results, others = read_events(stdout)
    ran = dict(rc=rc, cmd=cmd, stderr=stderr, output_lines=others)

    if rc == 2 and not any('result' in entry for entry in results.values()):
        module.fail_json(msg=with_output('orb-upgrade refused its command line', stderr, others),
                         upgraded=upgraded, failed_adapters=failed, adapter_results=results, **ran)

    # The adapters asked for first, in their order, then any other the program reported.
    order = []
    for address in [canonical_address(a) for a in params['adapters']] + list(results):
        if address not in order:
            order.append(address)
    for address in order:
        results.setdefault(address, {}).setdefault('result', None)

    if module.check_mode:
        fine = ('success', 'current', 'needs-upgrade')
        upgraded = [a for a in order if results[a]['result'] is not None and would_write(results[a], params['force'])]
        changed = bool(upgraded)
    else:
        fine = ('success', 'current')
        upgraded = [a for a in order if results[a]['result'] == 'success']
        # An adapter that took the whole image was written, even if its run then failed.
        changed = any(results[a].get('uploaded') is True for a in order)
    failed = [a for a in order if results[a]['result'] not in fine]
    outcome = dict(changed=changed, upgraded=upgraded, failed_adapters=failed, adapter_results=results, **ran)
    if module._diff:
        outcome['diff'] = version_diffs(order, results, module.check_mode, params['force'])

    if failed:
        described = '; '.join(describe(a, results[a]) for a in failed)
        msg = '%d of %d adapters failed: %s' % (len(failed), len(order), described)
        module.fail_json(msg=with_output(msg, stderr, others), **outcome)
    # Every adapter ended well: only the status that says so fits.
    if rc != 0 and not (rc == 10 and module.check_mode):
        module.fail_json(msg=with_output('orb-upgrade ended with exit status %d' % rc, stderr, others),
                         **outcome)
    # Said outright: Ansible takes a result with an rc but 0 and no "failed" for
    # a failure, and 10 is the check's answer that some adapter needs the upgrade.
    module.exit_json(failed=False, **outcome)


if __name__ == '__main__':
    main()
