# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)
#
# orb.fleet.adapter_info against orb-upgrade's JSON lines: it only ever runs
# --check, never reports changed, and says per adapter what its page showed or
# why it could not be read.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import pytest

from ansible_collections.orb.fleet.plugins.modules import adapter_info
from ansible_collections.orb.fleet.tests.unit.plugins.modules.orb_events import (
    A, B, PASSWORD, module_runner, result, status)

C = '10.1.0.3'


@pytest.fixture
def run_module(monkeypatch, program):
    return module_runner(monkeypatch, program, adapter_info.main)


@pytest.mark.parametrize('check', [False, True])
def test_the_pages_read_and_why_one_could_not_be(run_module, program, check):
    lines = [status(A), result(A, 'needs-upgrade', 10, version='1.0.2'),
             status(B, '2.0.10(a)'), result(B, 'current'),
             result(C, 'authentication-refused', 4, 'Upgrade Failed: User Abort', version='')]
    answer, failed, calls = run_module(lines, rc=1, check=check, adapters=[A, B, '10.1.0.003'], http_timeout=5)
    assert calls[0]['cmd'] == [program, '--unattended', '--accept-warning', '--json', '--address', A, '--address', B,
                               '--address', '10.1.0.003', '--user', 'admin', '--parallel', '20', '--http-timeout',
                               '5', '--check']
    assert calls[0]['environ'] == {'ORB_PASSWORD': PASSWORD}
    assert (failed, answer['changed']) == (False, False)
    assert (answer['behind'], answer['unreadable'], answer['versions']) == ([A], [C], {'1.0.2': 1, '2.0.10(a)': 1})
    first = answer['adapters'][A]
    assert (first['readable'], first['serial'], first['software'], first['current'], first['reason']) == \
        (True, 'ORB41000001', '1.0.2', False, '')
    assert answer['adapters'][B]['current'] is True
    refused = answer['adapters'][C]
    assert refused['readable'] is False and 'software' not in refused
    assert refused['reason'].startswith('authentication-refused (the adapter refused the password')


def test_an_adapter_without_a_result_is_unreadable_and_a_refused_command_line_fails(run_module):
    answer, failed, calls = run_module([status(A), result(A, 'needs-upgrade', 10)], rc=-9)
    assert not failed
    assert answer['unreadable'] == [B] and answer['adapters'][B]['reason'] == 'no result reported'
    answer, failed, calls = run_module([], rc=2, stderr='orb-upgrade: --pc-address 10.9.9.9 is not offered\n')
    assert failed and not answer['changed']
    assert 'refused its command line' in answer['msg']
