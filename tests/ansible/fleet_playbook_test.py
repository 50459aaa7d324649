#!/usr/bin/python3
# The example playbook (ansible/examples/upgrade-sites.yml) with the collection
# installed beside it from its tarball (tests/ansible/collection build), run on
# this computer as a site (-c local) with the built orb-upgrade, against two
# orb-sim adapters on 127.0.196.1 and .2 whose passwords differ: the site fails,
# and every adapter's result is still shown, the upgraded one's too.
#
#   fleet_playbook_test.py WORK ORB_UPGRADE ORB_SIM
#
# Needs root (ports 80 and 69); without it exits 77 (skipped).
# Debian's interpreter, the one ansible-core is installed for.
import os
import subprocess
import sys
import threading

ADAPTERS = ['127.0.196.1', '127.0.196.2']
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


def main():
    if os.geteuid() != 0:
        print('skipped: needs root for ports 80 and 69')
        return 77
    work, orb_upgrade, orb_sim = (os.path.abspath(arg) for arg in sys.argv[1:4])
    examples = os.path.join(work, 'examples')
    inventory = os.path.join(work, 'site-inventory.ini')
    with open(inventory, 'w') as f:
        f.write('[sites]\nlocalhost ansible_connection=local ansible_python_interpreter=%s\n' % sys.executable)
    config = os.path.join(work, 'ansible.cfg')
    open(config, 'w').close()
    env = dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='false',
               ANSIBLE_LOCAL_TEMP=os.path.join(work, 'local-tmp'), ANSIBLE_REMOTE_TEMP=os.path.join(work, 'remote-tmp'),
               ANSIBLE_ASYNC_DIR=os.path.join(work, 'async'))
    env.pop('ANSIBLE_COLLECTIONS_PATH', None)  # the collection beside the playbook, as installed from the tarball
    env.pop('ORB_PASSWORD', None)

    sims = [Sim(orb_sim, ADAPTERS[0], 'secret'), Sim(orb_sim, ADAPTERS[1], 'other')]
    try:
        for sim in sims:
            sim.wait_for('event=listening ')
        run = subprocess.run(
            ['ansible-playbook', '-i', inventory, os.path.join(examples, 'upgrade-sites.yml'),
             '-e', 'orb_install=false', '-e', 'orb_executable=' + orb_upgrade, '-e', 'orb_pc_address=127.0.0.1',
             '-e', 'orb_password=secret', '-e', '{"orb_adapters": %s}' % str(ADAPTERS).replace("'", '"')],
            env=env, cwd=work, capture_output=True, text=True)
        print('ansible-playbook: exit status %d\n%s%s' % (run.returncode, run.stdout, run.stderr))
        # 2: a host failed.
        if run.returncode != 2:
            raise AssertionError('the site did not fail')
        if "127.0.196.2: authentication-refused" not in run.stdout:
            raise AssertionError('the failure does not name the refused adapter')
        shown = run.stdout[run.stdout.find("TASK [Show each adapter's result]"):]
        for adapter, text in ((ADAPTERS[0], 'result: success, version 2.0.10(a)'),
                              (ADAPTERS[1], 'result: authentication-refused')):
            if '(item=%s) => {\n    "msg": "%s' % (adapter, text) not in shown:
                raise AssertionError('%s: its result "%s" is not shown' % (adapter, text))
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
