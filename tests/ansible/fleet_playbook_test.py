#!/usr/bin/python3
# The example playbook (ansible/examples/upgrade-sites.yml) with the collection
# installed beside it from its tarball (tests/ansible/collection build), run on
# this computer as its sites (-c local) with the built orb-upgrade, against
# orb-sim adapters on 127.0.196.1 to .3 (.4 is nobody):
# - --check --diff where orb-upgrade is installed: exit 0, changed, the diff, and
#   no adapter triggered (Ansible refuses async in check mode);
# - three sites one at a time (-e orb_sites_at_once=1), the first with an
#   unreachable adapter: it fails, and the other two still run;
# - a real run where one adapter refuses the password: the site fails, and every
#   adapter's result is still shown, the upgraded one's too.
#
#   fleet_playbook_test.py WORK ORB_UPGRADE ORB_SIM
#
# Needs root (ports 80 and 69); without it exits 77 (skipped).
# Debian's interpreter, the one ansible-core is installed for.
import os
import re
import subprocess
import sys
import threading

ADAPTERS = ['127.0.196.1', '127.0.196.2', '127.0.196.3']
NOBODY = '127.0.196.4'
WAIT_S = 30


class Sim:
    """One orb-sim adapter, its event lines read as they come."""

    def __init__(self, program, address, password):
        self.lines = []
        self.changed = threading.Condition()
        self.ended = False
        self.process = subprocess.Popen(
            [program, '--address', address, '--user', 'admin', '--password', password, '--restart-ms', '500',
             '--quiet-blocks'], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.reader = threading.Thread(target=self.read)
        self.reader.start()

    def read(self):
        for line in self.process.stdout:
            with self.changed:
                self.lines.append(line.rstrip('\n'))
                self.changed.notify_all()
        with self.changed:
            self.ended = True
            self.changed.notify_all()

    def wait_for(self, text):
        with self.changed:
            self.changed.wait_for(lambda: self.ended or any(text in line for line in self.lines), WAIT_S)
            if not any(text in line for line in self.lines):
                raise AssertionError('orb-sim never printed "%s"' % text)

    def stop(self):
        self.process.terminate()
        self.process.wait(WAIT_S)
        self.reader.join()


def playbook(work, env, hosts, *extra):
    """ansible-playbook on the example, with these [sites] lines; its exit status and output."""
    inventory = os.path.join(work, 'site-inventory.ini')
    with open(inventory, 'w') as f:
        f.write('[sites]\n' + ''.join('%s ansible_connection=local ansible_python_interpreter=%s %s\n'
                                      % (name, sys.executable, variables) for name, variables in hosts))
    run = subprocess.run(['ansible-playbook', '-i', inventory, os.path.join(work, 'examples', 'upgrade-sites.yml'),
                          '-e', 'orb_install=false', '-e', 'orb_pc_address=127.0.0.1'] + list(extra),
                         env=env, cwd=work, capture_output=True, text=True)
    print('ansible-playbook %s: exit status %d\n%s%s' % (' '.join(extra), run.returncode, run.stdout, run.stderr))
    return run


def adapters(*names):
    return "orb_adapters='%s'" % str(list(names)).replace("'", '"')


def recap(run, host):
    """The counts of the play recap's line for the host."""
    match = re.search(r'^%s\s*: (.*)$' % re.escape(host), run.stdout, re.M)
    if not match:
        raise AssertionError('no recap for %s' % host)
    return dict((key, int(value)) for key, value in re.findall(r'(\w+)=(\d+)', match.group(1)))


def check_where_installed(work, env, program, sims):
    run = playbook(work, env, [('localhost', adapters(ADAPTERS[0], ADAPTERS[1]))], '--check', '--diff',
                   '-e', 'orb_executable=' + program, '-e', 'orb_password=secret')
    if run.returncode != 0:
        raise AssertionError('check mode failed where orb-upgrade is installed')
    if recap(run, 'localhost')['changed'] != 1 or '-1.0.2\n+2.0.10(a)' not in run.stdout:
        raise AssertionError('check mode did not say what would change, with the diff')
    if any('event=trigger ' in line for sim in sims for line in sim.lines):
        raise AssertionError('check mode triggered an adapter')


def three_sites_one_at_a_time(work, env, program):
    sites = [('site-a', adapters(NOBODY)), ('site-b', adapters(ADAPTERS[0])), ('site-c', adapters(ADAPTERS[1]))]
    run = playbook(work, env, sites, '--check', '-e', 'orb_sites_at_once=1', '-e', 'orb_executable=' + program,
                   '-e', 'orb_password=secret')
    if run.returncode != 2:
        raise AssertionError('the first site did not fail the run')
    first = recap(run, 'site-a')
    if (first['failed'], first['rescued']) != (1, 1) or NOBODY + ': not-reachable' not in run.stdout:
        raise AssertionError('the first site did not fail for its unreachable adapter: %s' % first)
    for site in ('site-b', 'site-c'):
        counts = recap(run, site)
        if counts['failed'] != 0 or counts['changed'] != 1:
            raise AssertionError('%s did not run after the first site failed: %s' % (site, counts))


def a_site_with_a_refused_password(work, env, program):
    run = playbook(work, env, [('localhost', adapters(ADAPTERS[0], ADAPTERS[2]))],
                   '-e', 'orb_executable=' + program, '-e', 'orb_password=secret')
    # 2: a host failed.
    if run.returncode != 2:
        raise AssertionError('the site did not fail')
    if ADAPTERS[2] + ': authentication-refused' not in run.stdout:
        raise AssertionError('the failure does not name the refused adapter')
    shown = run.stdout[run.stdout.find("TASK [Show each adapter's result]"):]
    for adapter, text in ((ADAPTERS[0], 'result: success, version 2.0.10(a)'),
                          (ADAPTERS[2], 'result: authentication-refused')):
        if '(item=%s) => {\n    "msg": "%s' % (adapter, text) not in shown:
            raise AssertionError('%s: its result "%s" is not shown' % (adapter, text))


def main():
    if os.geteuid() != 0:
        print('skipped: needs root for ports 80 and 69')
        return 77
    work, orb_upgrade, orb_sim = (os.path.abspath(arg) for arg in sys.argv[1:4])
    config = os.path.join(work, 'ansible.cfg')
    open(config, 'w').close()
    env = dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='false',
               ANSIBLE_LOCAL_TEMP=os.path.join(work, 'local-tmp'), ANSIBLE_REMOTE_TEMP=os.path.join(work, 'remote-tmp'),
               ANSIBLE_ASYNC_DIR=os.path.join(work, 'async'))
    env.pop('ANSIBLE_COLLECTIONS_PATH', None)  # the collection beside the playbook, as installed from the tarball
    env.pop('ORB_PASSWORD', None)

    sims = [Sim(orb_sim, ADAPTERS[0], 'secret'), Sim(orb_sim, ADAPTERS[1], 'secret'),
            Sim(orb_sim, ADAPTERS[2], 'other')]
    try:
        for sim in sims:
            sim.wait_for('event=listening ')
        # The check-mode runs first: they must leave the adapters as they are.
        check_where_installed(work, env, orb_upgrade, sims)
        three_sites_one_at_a_time(work, env, orb_upgrade)
        a_site_with_a_refused_password(work, env, orb_upgrade)
    except AssertionError as error:
        for sim in sims:
            print('orb-sim said (last lines):\n%s' % '\n'.join(sim.lines[-20:]))
        print('FAILED: %s' % error)
        return 1
    finally:
        for sim in sims:
            sim.stop()
    print('passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
