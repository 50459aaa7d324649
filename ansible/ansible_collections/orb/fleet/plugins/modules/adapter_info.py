#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: adapter_info
short_description: Read the status page of ORB adapters with orb-upgrade, changing nothing
version_added: 1.1.0
description:
  - Runs C(orb-upgrade --unattended --check --json) on the managed host for the given adapters and returns what
    each adapter's status page says - serial number, MAC address, hardware and software version, product name -
    and whether it runs the version of the image that the program carries, or why its page could not be read.
  - It never triggers an upgrade and never sends an adapter anything but the status page's request, so it is
    safe to run at any time, also in check mode; it never reports C(changed).
  - Run it where M(orb.fleet.upgrade) runs, on a computer on the adapters' own network with the Debian package
    C(orb-upgrade) installed.
options:
  adapters:
    description:
      - The adapters' IPv4 addresses, in decimal (C(10.1.0.008) is C(10.1.0.8)).
    type: list
    elements: str
    required: true
  user:
    description:
      - The adapters' administrator name, for adapters that ask for a password.
    type: str
    default: admin
  password:
    description:
      - The administrator's password (1 to 126 bytes), for adapters that ask for one.
      - Left out, orb-upgrade takes C(ORB_PASSWORD) from the task's environment, if it is set there.
    type: str
  pc_address:
    description:
      - The managed host's address on the adapters' network. It must be one of its own addresses.
    type: str
  parallel:
    description:
      - How many status pages to read at once, 1 to 1000.
    type: int
    default: 20
  http_timeout:
    description:
      - Seconds an adapter may take to answer before it is given up (C(readable) false); C(0) waits for ever.
      - Left out, the program's default, 60.
    type: int
  executable:
    description:
      - The orb-upgrade program, a name looked up on the C(PATH) or a path.
    type: path
    default: orb-upgrade
attributes:
  check_mode:
    description: Reads the status pages in check mode too; nothing is changed in either mode.
    support: full
  diff_mode:
    description: Nothing changes, so there is no diff.
    support: none
  platform:
    description: Runs on the managed host, a Debian computer on the adapters' own network.
    support: full
    platforms: posix
notes:
  - The task fails only when orb-upgrade cannot run or refuses its command line; an adapter whose page could not
    be read is reported with C(readable) false and the reason, so that a play can decide with C(when).
seealso:
  - module: orb.fleet.upgrade
    description: Upgrades the adapters that do not run the program's version.
requirements:
  - Python 3 on the managed host.
  - The Debian package C(orb-upgrade) on the managed host.
author:
  - ORB firmware upgrade utility maintainers (@orb-upgrade)
'''

EXAMPLES = r'''
- name: Read the site's adapters
  orb.fleet.adapter_info:
    adapters: "{{ orb_adapters }}"
    pc_address: 10.1.0.2
    password: "{{ orb_password }}"
  register: orb_info

- name: Upgrade only the adapters that need it
  orb.fleet.upgrade:
    adapters: "{{ orb_info.behind }}"
    pc_address: 10.1.0.2
    password: "{{ orb_password }}"
  when: orb_info.behind | length > 0

- name: Which adapters still run 1.0.2
  ansible.builtin.debug:
    msg: "{{ orb_info.adapters | dict2items | selectattr('value.software', 'equalto', '1.0.2')
             | map(attribute='key') | list }}"
'''

RETURN = r'''
adapters:
  description: Each adapter's status, keyed by its address as orb-upgrade writes it (decimal, without leading zeros).
  returned: when orb-upgrade ran past its command line
  type: dict
  contains:
    readable:
      description: Whether the status page was read.
      type: bool
      sample: true
    reason:
      description: Why the page could not be read (the result and what the program said); empty when it was read.
      type: str
      sample: ""
    serial:
      description: The serial number.
      type: str
      sample: ORB41000001
    mac:
      description: The MAC address.
      type: str
      sample: 00:1A:2B:3C:4D:5E
    software:
      description: The software version the adapter runs.
      type: str
      sample: 1.0.2
    hardware:
      description: The hardware version.
      type: str
      sample: 4100-A1
    product:
      description: The product name.
      type: str
      sample: ORB4100
    current:
      description: Whether it runs the version of the image that orb-upgrade carries.
      type: bool
      sample: false
    image_version:
      description: The version of the image that orb-upgrade carries.
      type: str
      sample: 2.0.10(a)
behind:
  description: The adapters whose page was read and that do not run the program's version.
  returned: always
  type: list
  elements: str
  sample: [10.1.0.123]
unreadable:
  description: The adapters whose page could not be read.
  returned: always
  type: list
  elements: str
  sample: []
versions:
  description: How many readable adapters run each software version.
  returned: always
  type: dict
  sample: {"1.0.2": 12, "2.0.10(a)": 188}
rc:
  description: orb-upgrade's exit status.
  returned: when orb-upgrade ran
  type: int
  sample: 10
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.orb.fleet.plugins.module_utils.orb_upgrade import (
    STATUS_FIELDS, base_command, check_ranges, describe, find_executable, in_order, read_events, with_output)

FIELDS = [name.replace('-', '_') for name in STATUS_FIELDS]


def status_of(address, entry):
    """What one adapter's page said, or why it could not be read."""
    readable = 'software' in entry and entry['result'] in ('current', 'needs-upgrade')
    status = dict(readable=readable, reason='' if readable else describe(address, entry).split(': ', 1)[-1])
    for name in FIELDS:
        if name in entry:
            status[name] = entry[name]
    return status


def main():
    module = AnsibleModule(
        argument_spec=dict(
            adapters=dict(type='list', elements='str', required=True),
            user=dict(type='str', default='admin'),
            password=dict(type='str', no_log=True),
            pc_address=dict(type='str'),
            parallel=dict(type='int', default=20),
            http_timeout=dict(type='int'),
            executable=dict(type='path', default='orb-upgrade'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    none = dict(changed=False, behind=[], unreadable=[], versions={})
    check_ranges(module, params, ('http_timeout',), **none)
    executable = find_executable(module, params['executable'], **none)
    # --check reads each status page and presses Cancel before anything is triggered.
    cmd = base_command(executable, params, ('http_timeout',)) + ['--check']
    environ = {}
    if params['password'] is not None:
        environ['ORB_PASSWORD'] = params['password']
    rc, stdout, stderr = module.run_command(cmd, environ_update=environ)
    results, others = read_events(stdout)
    if rc == 2 and not any('result' in entry for entry in results.values()):
        module.fail_json(msg=with_output('orb-upgrade refused its command line', stderr, others), rc=rc, **none)

    adapters = {}
    versions = {}
    for address in in_order(params['adapters'], results):
        adapters[address] = status = status_of(address, results[address])
        if status['readable']:
            versions[status['software']] = versions.get(status['software'], 0) + 1
    # Said outright: Ansible takes a result with an rc but 0 and no "failed" for a failure, and 10 only says
    # that some adapter is behind.
    module.exit_json(failed=False, changed=False, adapters=adapters, rc=rc,
                     behind=[a for a, s in adapters.items() if s['readable'] and not s.get('current')],
                     unreadable=[a for a, s in adapters.items() if not s['readable']], versions=versions)


if __name__ == '__main__':
    main()
