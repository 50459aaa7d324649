# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)
#
# orb-upgrade's JSON events as the modules' tests feed them, and a runner that
# gives a module's main() those lines in place of run_command.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes

PASSWORD = 'pass word'
A, B = '10.1.0.1', '10.1.0.2'


class Exited(Exception):
    pass


class Failed(Exception):
    pass


def status(adapter, software='1.0.2'):
    return {'adapter': adapter, 'event': 'status', 'serial': 'ORB41000001', 'mac': '00:1A:2B:3C:4D:5E',
            'software': software, 'hardware': '4100-A1', 'product': 'ORB4100',
            'current': software == '2.0.10(a)', 'image-version': '2.0.10(a)', 'text': 'status'}


def result(adapter, name, code=0, error='', uploaded=None, version='2.0.10(a)'):
    return {'adapter': adapter, 'event': 'result', 'result': name, 'code': code, 'version': version,
            'image-version': '2.0.10(a)', 'error': error,
            'uploaded': name == 'success' if uploaded is None else uploaded, 'text': name}


def output(adapter, text):
    return {'adapter': adapter, 'event': 'output', 'text': text}


def upload(adapter, sent, size=728196):
    return {'adapter': adapter, 'event': 'upload', 'bytes': sent, 'size': size, 'text': 'upload'}


def module_runner(monkeypatch, program, main):
    """Runs main() on the given lines: its answer, whether it failed, and the calls of run_command."""
    def run(lines=(), rc=0, stderr='', check=False, diff=False, **options):
        args = dict(adapters=[A, B], password=PASSWORD, executable=program,
                    _ansible_check_mode=check, _ansible_diff=diff)
        args.update(options)
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args})))
        calls = []
        warnings = []
        stdout = ''.join((json.dumps(line) if isinstance(line, dict) else line) + '\n' for line in lines)

        def run_command(self, cmd, environ_update=None, **kwargs):
            calls.append(dict(cmd=cmd, environ=environ_update or {}))
            return rc, stdout, stderr

        def exit_json(self, **answer):
            raise Exited(answer)

        def fail_json(self, **answer):
            raise Failed(answer)

        monkeypatch.setattr(basic.AnsibleModule, 'run_command', run_command)
        monkeypatch.setattr(basic.AnsibleModule, 'exit_json', exit_json)
        monkeypatch.setattr(basic.AnsibleModule, 'fail_json', fail_json)
        monkeypatch.setattr(basic.AnsibleModule, 'warn', lambda self, text: warnings.append(text))
        with pytest.raises((Exited, Failed)) as ended:
            main()
        answer = ended.value.args[0]
        assert PASSWORD not in json.dumps(answer)
        answer['warnings_given'] = warnings
        return answer, ended.type is Failed, calls
    return run
