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

import os
import stat

import pytest

from ansible_collections.orb.fleet.plugins.modules import upgrade
from ansible_collections.orb.fleet.tests.unit.plugins.modules.orb_events import (
    A, B, PASSWORD, module_runner, output, result, status, upload)


@pytest.fixture
def run_module(monkeypatch, program):
    return module_runner(monkeypatch, program, upgrade.main)


def test_the_command_line_and_the_password_in_the_environment(run_module, program):
    answer, failed, calls = run_module(
        [status(A), result(A, 'success'), status('10.1.0.8', '2.0.10(a)'), result('10.1.0.8', 'current'),
         {'adapter': A, 'event': 'summary', 'result': 'success'},
         {'adapter': 'all', 'event': 'totals', 'adapters': 2, 'success': 1, 'current': 1}],
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
    # Killed after both uploads: no result came, but both adapters were written.
    pytest.param([upload(A, 512), upload(A, 728196), upload(B, 728196)], -9, False, False, True, [A, B],
                 id='killed after the uploads'),
    pytest.param([upload(A, 512), result(B, 'current')], -9, False, False, False, [A],
                 id='killed during an upload'),
    pytest.param([result(A, 'success'), {'adapter': A, 'event': 'fault', 'result': 'cancelled', 'text': 'fault'},
                  result(B, 'current')], 1, False, False, True, [A], id='a fault fails the adapter'),
])
def test_changed_and_failed_from_the_results(run_module, lines, rc, check, force, changed, failed_adapters):
    answer, failed, calls = run_module(lines, rc=rc, check=check, force=force)
    assert ('--check' in calls[0]['cmd'], '--force' in calls[0]['cmd']) == (check, force)
    assert (answer['changed'], answer['failed_adapters']) == (changed, failed_adapters)
    assert failed == (bool(failed_adapters) or rc not in (0, 10))
    if check:
        assert answer['upgraded'] == ([A, B] if force else [A] if changed else [])
    assert not set(answer['upgraded']) & set(failed_adapters)


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


def test_a_batch_ended_early_names_the_adapters_that_were_written(run_module):
    answer, failed, calls = run_module([upload(A, 728196), upload(B, 728196)], rc=-9)
    assert failed and answer['changed']
    assert '2 of 2 adapters failed: ' in answer['msg']
    for address in (A, B):
        assert '%s: no result reported (the whole image was sent to it)' % address in answer['msg']


def test_a_refused_password_reads_as_such(run_module):
    answer, failed, calls = run_module(
        [result(A, 'authentication-refused', 4, 'Upgrade Failed: User Abort'), result(B, 'current')], rc=1)
    assert failed
    assert '10.1.0.1: authentication-refused (the adapter refused the password' in answer['msg']
    assert 'User Abort' not in answer['msg']


def test_the_message_stays_short_at_a_thousand_adapters(run_module):
    adapters = ['10.1.%d.%d' % (i // 250, i % 250 + 1) for i in range(1000)]
    failing = set(adapters[::40])  # 25 of them
    lines = []
    for address in adapters:
        lines += [status(address), upload(address, 728196)]
        lines.append(result(address, 'not-reachable', 3, 'Upgrade Failed: Can\'t connect to ORB', version='')
                     if address in failing else result(address, 'success'))
    answer, failed, calls = run_module(lines, rc=1, adapters=adapters, parallel=100)
    assert failed
    assert answer['msg'].startswith('25 of 1000 adapters failed: %s: not-reachable' % adapters[0])
    assert 'and 15 more (see failed_adapters and adapter_results)' in answer['msg']
    assert len(answer['msg']) < 2000
    assert answer['failed_adapters'] == [a for a in adapters if a in failing]
    assert len(answer['upgraded']) == 975 and len(answer['adapter_results']) == 1000


def test_the_batch_limit_is_passed_and_a_limit_too_short_is_warned_of(run_module):
    answer, failed, calls = run_module([result(A, 'success'), result(B, 'success')], batch_timeout=3300)
    cmd = calls[0]['cmd']
    assert cmd[cmd.index('--batch-timeout') + 1] == '3300'
    assert answer['warnings_given'] == []
    adapters = ['10.1.0.%d' % i for i in range(1, 101)]
    answer, failed, calls = run_module([result(a, 'success') for a in adapters], adapters=adapters, parallel=10,
                                       batch_timeout=300)
    assert answer['warnings_given'] == [
        'batch_timeout 300 s is shorter than the 10 round(s) of about 60 s that 100 adapters take at parallel 10: '
        'the adapters not done by then end cancelled']
