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
    version_added: 1.1.0
  http_timeout:
    description:
      - Seconds an adapter may take to finish an HTTP answer before it is given up (result C(not-reachable),
        or C(no-answer-after-upload) after the upload); C(0) waits for ever.
      - Left out, the program's default, 60.
    type: int
    version_added: 1.1.0
  batch_timeout:
    description:
      - Seconds the whole batch may take. Past it orb-upgrade cancels every run still going, as Ctrl-C would, and
        every adapter still gets its result (C(cancelled) for those it did not finish or start).
      - Give it when the task runs with C(async), a little shorter than the C(async) value, so that the program
        ends the batch itself and reports each adapter, rather than Ansible ending the task with only "Timeout
        exceeded". Size both by rounds of about a minute each (the adapters' restart takes 50 s), that is
        ceil(number of adapters / I(parallel)) minutes, plus a margin for slow adapters; the module warns when
        I(batch_timeout) is shorter than those rounds.
      - Left out, or C(0), the batch has no limit of its own.
    type: int
    version_added: 1.1.0
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
  - C(changed) is true when the whole image was sent to any adapter (every block acknowledged), whether its run
    then succeeded, failed or was ended before it reported, since its firmware was written.
  - An adapter whose run reported two different results (a C(fault)) counts as failed.
  - The task fails when any adapter fails; its message names each failed adapter with its result and the last
    lines of the program's output about it, and I(adapter_results) still holds every adapter's result.
  - An upgrade takes about a minute, most of it the adapters' restart; a large site can take longer. Run the task
    with C(async) and C(poll) so that the connection is not held that long, and I(batch_timeout) a little
    shorter than C(async) (see the examples). Ansible refuses C(async) in check mode, so give it C(0) there.
  - The collection's C(docs/many-sites.md) shows rollouts across many sites (forks, throttle, serial with
    max_fail_percentage, delegate_to for a site behind a jump host).
seealso:
  - module: ansible.builtin.apt
    description: Installs the Debian package C(orb-upgrade) on the managed host.
  - module: ansible.builtin.async_status
    description: Reads the result of a task run with C(async) and C(poll=0).
  - ref: playbooks_async
    description: Running a long task without holding the connection (C(async) and C(poll)).
requirements:
  - Python 3 on the managed host.
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
    batch_timeout: 3300  # the program ends the batch first, and reports every adapter
  # Seconds the run may take at most; check mode cannot run in the background.
  async: "{{ ansible_check_mode | ternary(0, 3600) }}"
  poll: 15  # look at it every 15 seconds
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
          C(cancelled), C(failed), C(no-request), C(no-free-port), C(run-timeout), and any result a newer
          orb-upgrade adds. None when the program reported no result for the adapter.
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
      description:
        - Whether every block of the image was acknowledged by the host that asked for it; whether that was the
          adapter, its C(result) says (C(success) only when it reports the image's version after its restart).
      type: bool
      sample: true
    image_sent:
      description: Whether the whole image was sent to the adapter, also when its run reported no result.
      type: bool
      sample: true
      version_added: 1.1.0
    fault:
      description: The text of a second, different result that the adapter's run reported; the adapter then failed.
      type: str
      sample: "result: cancelled"
      version_added: 1.1.0
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
  description:
    - The adapters whose run failed, reported no result, or reported two different ones.
    - The message names the first ten of them and counts the others.
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

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.orb.fleet.plugins.module_utils.orb_upgrade import (
    base_command, check_ranges, describe_failures, find_executable, in_order, read_events, with_output)

LIMITS = ('request_timeout', 'http_timeout', 'batch_timeout')
# About what one round of adapters takes at the least: the status query, the
# upload and the adapter's restart wait of 50 s.
ROUND_S = 60


def build_command(executable, params, check_mode):
    cmd = base_command(executable, params, LIMITS)
    if params['force']:
        cmd.append('--force')
    if check_mode:
        cmd.append('--check')
    return cmd


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


def warn_about_time(module, params):
    """A batch limit too short for the rounds the adapters need ends the batch before most are done."""
    limit = params['batch_timeout']
    if not limit or module.check_mode:
        return
    rounds = -(-len(params['adapters']) // params['parallel'])
    if limit < rounds * ROUND_S:
        module.warn('batch_timeout %d s is shorter than the %d round(s) of about %d s that %d adapters take at '
                    'parallel %d: the adapters not done by then end cancelled' % (
                        limit, rounds, ROUND_S, len(params['adapters']), params['parallel']))


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
            batch_timeout=dict(type='int'),
            executable=dict(type='path', default='orb-upgrade'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    none = dict(upgraded=[], failed_adapters=[])
    check_ranges(module, params, LIMITS, **none)
    warn_about_time(module, params)

    executable = find_executable(module, params['executable'], **none)
    cmd = build_command(executable, params, module.check_mode)
    environ = {}
    if params['password'] is not None:
        environ['ORB_PASSWORD'] = params['password']
    rc, stdout, stderr = module.run_command(cmd, environ_update=environ)
    results, others = read_events(stdout)
    ran = dict(rc=rc, cmd=cmd, stderr=stderr, output_lines=others)

    if rc == 2 and not any('result' in entry for entry in results.values()):
        module.fail_json(msg=with_output('orb-upgrade refused its command line', stderr, others),
                         adapter_results=results, **dict(none, **ran))

    order = in_order(params['adapters'], results)
    if module.check_mode:
        fine = ('success', 'current', 'needs-upgrade')
        upgraded = [a for a in order if results[a]['result'] is not None and would_write(results[a], params['force'])]
        changed = bool(upgraded)
    else:
        fine = ('success', 'current')
        upgraded = [a for a in order if results[a]['result'] == 'success' and not results[a].get('fault')]
        # An adapter that took the whole image was written, whether its run then
        # failed or was ended before it could say.
        changed = any(results[a].get('image_sent') for a in order)
    # A run that reported two results ended in neither for sure.
    failed = [a for a in order if results[a]['result'] not in fine or results[a].get('fault')]
    outcome = dict(changed=changed, upgraded=upgraded, failed_adapters=failed, adapter_results=results, **ran)
    if module._diff:
        outcome['diff'] = version_diffs(order, results, module.check_mode, params['force'])

    if failed:
        module.fail_json(msg=with_output(describe_failures(failed, results, len(order)), stderr, others), **outcome)
    # Every adapter ended well: only the status that says so fits.
    if rc != 0 and not (rc == 10 and module.check_mode):
        module.fail_json(msg=with_output('orb-upgrade ended with exit status %d' % rc, stderr, others),
                         **outcome)
    # Said outright: Ansible takes a result with an rc but 0 and no "failed" for
    # a failure, and 10 is the check's answer that some adapter needs the upgrade.
    module.exit_json(failed=False, **outcome)


if __name__ == '__main__':
    main()
