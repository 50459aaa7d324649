# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)
#
# The module against orb-upgrade's JSON lines, given by a stand-in for
# run_command: the command line it builds, where the password goes, and how the
# events become changed, failed, the per-adapter results, the message and the
# diff.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import stat

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes
from ansible_collections.orb.fleet.plugins.modules import upgrade

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


@pytest.fixture
def program(tmp_path):
    """An executable file where orb-upgrade would be (run_command is replaced, so it never runs)."""
    path = tmp_path / 'orb-upgrade'
    path.write_text(u'#!/bin/sh\nexit 99\n')
    path.chmod(stat.S_IRWXU)
    return str(path)


@pytest.fixture
def run_module(monkeypatch, program):
    """Runs the module on the given lines: its answer, whether it failed, and the calls of run_command."""
    def run(lines=(), rc=0, stderr='', check=False, diff=False, **options):
        args = dict(adapters=[A, B], password=PASSWORD, executable=program,
                    _ansible_check_mode=check, _ansible_diff=diff)
        args.update(options)
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args})))
        calls = []
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
        with pytest.raises((Exited, Failed)) as ended:
            upgrade.main()
        answer = ended.value.args[0]
        assert PASSWORD not in json.dumps(answer)
        return answer, ended.type is Failed, calls
    return run


def test_the_command_line_and_the_password_in_the_environment(run_module, program):
    answer, failed, calls = run_module(
        [status(A), result(A, 'success'), status('10.1.0.8', '2.0.10(a)'), result('10.1.0.8', 'current'),
         {'adapter': A, 'event': 'summary', 'result': 'success'}],
        adapters=[A, '10.1.0.008'], pc_address='10.1.0.200', user='root', request_timeout=300, http_timeout=0)
    assert calls[0]['cmd'] == [program, '--unattended', '--accept-warning', '--json', '--address', A,
                               '--address', '10.1.0.008', '--pc-address', '10.1.0.200', '--user', 'root',
                               '--parallel', '4', '--request-timeout', '300', '--http-timeout', '0']
    assert calls[0]['environ'] == {'ORB_PASSWORD': PASSWORD}
    assert (failed, answer['changed'], answer['upgraded'], answer['failed_adapters']) == (False, True, [A], [])
    assert sorted(answer['adapter_results']) == [A, '10.1.0.8']
    first = answer['adapter_results'][A]
    assert (first['result'], first['code'], first['version'], first['image_version'], first['uploaded'],
            first['serial'], first['software'], first['current']) == \
        ('success', 0, '2.0.10(a)', '2.0.10(a)', True, 'ORB41000001', '1.0.2', False)


def test_the_user_is_admin_unless_given(run_module):
    answer, failed, calls = run_module([result(A, 'current'), result(B, 'current')])
    assert (answer['changed'], failed) == (False, False)
    cmd = calls[0]['cmd']
    assert cmd[cmd.index('--user') + 1] == 'admin'
    assert '--request-timeout' not in cmd and '--http-timeout' not in cmd


@pytest.mark.parametrize('lines, rc, check, force, changed, failed_adapters', [
    pytest.param([result(A, 'current'), result(B, 'current')], 0, False, False, False, [], id='all current'),
    pytest.param([result(A, 'needs-upgrade', 10), result(B, 'current')], 10, True, False, True, [],
                 id='check: one would be upgraded'),
    pytest.param([result(A, 'current'), result(B, 'current')], 0, True, False, False, [], id='check: all current'),
    # An older orb-upgrade says current although --force would write it.
    pytest.param([result(A, 'current'), result(B, 'current')], 0, True, True, True, [],
                 id='check with force: current adapters would be written'),
    pytest.param([result(A, 'needs-upgrade', 10), result(B, 'current')], 10, False, False, False, [A],
                 id='needs-upgrade outside check mode'),
    pytest.param([result(A, 'success'), result(B, 'authentication-refused', 4)], 1, False, False, True, [B],
                 id='one refused'),
    pytest.param([result(A, 'current'), result(B, 'no-answer-after-upload', 6, uploaded=True)], 6, False, False,
                 True, [B], id='the whole image taken, then no answer'),
    pytest.param([result(A, 'current'), result(B, 'upload-incomplete', 5, uploaded=False)], 5, False, False,
                 False, [B], id='the image not all taken'),
    pytest.param([status(B), result(A, 'success')], 0, False, False, True, [B], id='no result for one'),
    pytest.param([result(A, 'success'), result(B, 'success')], 8, False, False, True, [],
                 id='an exit status that no result explains'),
])
def test_changed_and_failed_from_the_results(run_module, lines, rc, check, force, changed, failed_adapters):
    answer, failed, calls = run_module(lines, rc=rc, check=check, force=force)
    assert ('--check' in calls[0]['cmd'], '--force' in calls[0]['cmd']) == (check, force)
    assert (answer['changed'], answer['failed_adapters']) == (changed, failed_adapters)
    assert failed == (bool(failed_adapters) or rc not in (0, 10))
    if check:
        assert answer['upgraded'] == ([A, B] if force else [A] if changed else [])


def test_a_failure_names_the_adapter_its_result_and_what_the_program_said(run_module):
    answer, failed, calls = run_module(
        ['orb-upgrade: a line that is no event', result(A, 'current'),
         output(B, 'orb-upgrade: UDP port 69 on 10.1.0.200 cannot be bound: Address already in use'),
         result(B, 'failed', 8, 'Upgrade Failed')], rc=1)
    assert failed
    assert ('10.1.0.2: failed (Upgrade Failed), saying: orb-upgrade: UDP port 69 on 10.1.0.200 cannot be bound'
            in answer['msg'])
    assert A not in answer['msg']
    assert 'a line that is no event' in answer['msg']
    assert answer['adapter_results'][B]['output'] == [
        'orb-upgrade: UDP port 69 on 10.1.0.200 cannot be bound: Address already in use']
    assert answer['adapter_results'][A]['result'] == 'current'


@pytest.mark.parametrize('check, force, lines, after', [
    pytest.param(True, False, [status(A), result(A, 'needs-upgrade', 10, version='1.0.2'),
                               status(B, '2.0.10(a)'), result(B, 'current')], ['2.0.10(a)', '2.0.10(a)'],
                 id='check'),
    pytest.param(True, True, [status(A), result(A, 'needs-upgrade', 10, version='1.0.2'),
                              status(B, '2.0.10(a)'), result(B, 'current')], ['2.0.10(a)', '2.0.10(a)'],
                 id='check with force'),
    pytest.param(False, False, [status(A), result(A, 'success'), status(B),
                                result(B, 'upload-incomplete', 5, version='')], ['2.0.10(a)', '1.0.2'], id='run'),
])
def test_the_diff_is_the_software_version_before_and_after(run_module, check, force, lines, after):
    answer, failed, calls = run_module(lines, rc=0, check=check, diff=True, force=force)
    assert '--check' in calls[0]['cmd'] or not check
    before = [status(A)['software'], status(B, '2.0.10(a)' if check else '1.0.2')['software']]
    assert [(d['before'], d['after']) for d in answer['diff']] == \
        [(b + '\n', a + '\n') for b, a in zip(before, after)]
    assert [d['after_header'] for d in answer['diff']] == [A, B]


def test_no_diff_without_diff_mode(run_module):
    answer, failed, calls = run_module([status(A), result(A, 'success'), status(B), result(B, 'success')])
    assert (failed, len(calls)) == (False, 1)
    assert 'diff' not in answer


def test_a_usage_error_and_values_out_of_range(run_module):
    answer, failed, calls = run_module([], rc=2, stderr='orb-upgrade: --pc-address 10.9.9.9 is not offered\n',
                                       force=True, parallel=100)
    assert failed
    assert 'refused its command line; its output: orb-upgrade: --pc-address 10.9.9.9' in answer['msg']
    assert answer['cmd'][-3:] == ['--parallel', '100', '--force']
    for options, words in [(dict(parallel=0), 'parallel must be 1 to 1000'),
                           (dict(parallel=1001), 'parallel must be 1 to 1000'),
                           (dict(request_timeout=-1), 'request_timeout must be 0 (no limit) to 9999'),
                           (dict(http_timeout=10000), 'http_timeout must be 0 (no limit) to 9999')]:
        answer, failed, calls = run_module([], **options)
        assert (failed, calls) == (True, [])
        assert words in answer['msg']


def test_a_missing_or_unusable_program_is_named_with_what_to_do(run_module, program, tmp_path, monkeypatch):
    monkeypatch.setenv('PATH', str(tmp_path / 'empty'))
    missing = str(tmp_path / 'nowhere' / 'orb-upgrade')
    os.chmod(program, stat.S_IRUSR | stat.S_IWUSR)
    # A name no computer has: this one may have orb-upgrade installed where get_bin_path also looks (/usr/sbin).
    for executable, words in [('orb-upgrade-x', 'orb-upgrade-x was not found on the PATH of the managed host: '
                                                'install the Debian package orb-upgrade'),
                              (missing, missing + ' does not exist on the managed host: install the Debian package'),
                              (program, program + ' is not executable on the managed host')]:
        answer, failed, calls = run_module([], executable=executable)
        assert (failed, calls) == (True, [])
        assert words in answer['msg']
