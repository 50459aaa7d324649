# -*- coding: utf-8 -*-
# Copyright: (c) 2026, The ORB firmware upgrade utility authors
# GNU General Public License v3.0+ (see LICENSE or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import stat

import pytest


@pytest.fixture
def program(tmp_path):
    """An executable file where orb-upgrade would be (run_command is replaced, so it never runs)."""
    path = tmp_path / 'orb-upgrade'
    path.write_text(u'#!/bin/sh\nexit 99\n')
    path.chmod(stat.S_IRWXU)
    return str(path)
