#!/usr/bin/python3
# orb.fleet.upgrade in a real play (ansible-playbook -i localhost, -c local)
# with the built orb-upgrade, against two orb-sim adapters on 127.0.196.1-2:
# check mode changes nothing and sends no trigger; the upgrade reports changed;
# the same play again reports ok; a wrong password fails the task and names the
# adapters.
#
#   fleet_playbook_test.py ORB_UPGRADE ORB_SIM WORK_DIR
#
# Needs root (ports 80 and 69); without it exits 77 (skipped). The upgrade
# waits for the adapters' restart as the program always does: about a minute.
# The task's result comes from ansible-core's own tree callback: the json
# stdout callback is not in ansible-core.
# Debian's interpreter, the one ansible-core is installed for.
import json
import os
import shutil
import socket
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTIONS = os.path.normpath(os.path.join(HERE, '..', '..', 'ansible'))
PLAYBOOK = os.path.join(HERE, 'upgrade.yml')
ADAPTERS = ['127.0.196.1', '127.0.196.2']
IMAGE_VERSION = '2.0.10(a)'
WAIT_S = 30


class Sim:
    """orb-sim's fleet, its event lines read as they come."""

    def __init__(self, program):
        self.lines = []
        self.changed = threading.Condition()
        self.ended = False
        self.process = subprocess.Popen(
            [program, '--address', ADAPTERS[0], '--count', str(len(ADAPTERS)), '--user', 'admin',
             '--password', 'secret', '--restart-ms', '500', '--quiet-blocks'],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
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
            found = self.changed.wait_for(lambda: self.ended or any(text in line for line in self.lines), WAIT_S)
            if not found or not any(text in line for line in self.lines):
                fail('orb-sim never printed "%s"' % text)

    def triggers_so_far(self, step):
        """The adapters that got a trigger: every line up to now is read once a request of our own is logged."""
        with socket.create_connection((ADAPTERS[0], 80), timeout=WAIT_S) as connection:
            connection.sendall(b'GET /marker-%d HTTP/1.1\r\nHost: %s\r\n\r\n' % (step, ADAPTERS[0].encode()))
            while connection.recv(4096):
                pass
        self.wait_for('target=/marker-%d ' % step)
        with self.changed:
            return sorted(field[len('adapter='):] for line in self.lines if line.startswith('event=trigger ')
                          for field in line.split() if field.startswith('adapter='))

    def stop(self):
        self.process.terminate()
        self.process.wait(WAIT_S)
        self.reader.join()


def fail(message):
    raise AssertionError(message)


def play(work, env, orb_upgrade, password='secret', check=False):
    """ansible-playbook's exit status and the task's result on localhost, as the tree callback wrote it."""
    variables = os.path.join(work, 'vars.json')
    with open(variables, 'w') as f:
        json.dump(dict(orb_adapters=ADAPTERS, orb_pc_address='127.0.0.1', orb_password=password,
                       orb_executable=orb_upgrade), f)
    tree = os.path.join(work, 'results')
    shutil.rmtree(tree, ignore_errors=True)
    command = ['ansible-playbook', '-i', 'localhost,', '-c', 'local', '-e', '@' + variables, PLAYBOOK]
    if check:
        command.append('--check')
    run = subprocess.run(command, env=dict(env, ANSIBLE_CALLBACK_TREE_DIR=tree), cwd=work,
                         capture_output=True, text=True)
    print('ansible-playbook%s: exit status %d\n%s%s' % (' --check' if check else '', run.returncode, run.stdout,
                                                       run.stderr))
    try:
        with open(os.path.join(tree, 'localhost')) as f:
            return run.returncode, json.load(f)
    except (OSError, ValueError) as error:
        fail('no result of the task: %s' % error)


def expect(task, changed, result, **fields):
    if task.get('changed') != changed:
        fail('changed is %s, not %s' % (task.get('changed'), changed))
    results = task.get('adapter_results', {})
    for adapter in ADAPTERS:
        entry = results.get(adapter, {})
        if entry.get('result') != result:
            fail('%s: result %s, not %s' % (adapter, entry.get('result'), result))
        for name, value in fields.items():
            if entry.get(name) != value:
                fail('%s: %s is %r, not %r' % (adapter, name, entry.get(name), value))


def main():
    if os.geteuid() != 0:
        print('skipped: needs root for ports 80 and 69')
        return 77
    orb_upgrade, orb_sim, work = (os.path.abspath(arg) for arg in sys.argv[1:4])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    config = os.path.join(work, 'ansible.cfg')
    open(config, 'w').close()
    env = dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS,
               ANSIBLE_CALLBACKS_ENABLED='ansible.builtin.tree', ANSIBLE_PYTHON_INTERPRETER=sys.executable,
               ANSIBLE_LOCAL_TEMP=os.path.join(work, 'local-tmp'),
               ANSIBLE_REMOTE_TEMP=os.path.join(work, 'remote-tmp'),
               ANSIBLE_RETRY_FILES_ENABLED='false', ANSIBLE_NOCOLOR='1')
    env.pop('ORB_PASSWORD', None)

    sim = Sim(orb_sim)
    try:
        sim.wait_for('event=listening ')

        status, task = play(work, env, orb_upgrade, check=True)
        if status != 0:
            fail('the check failed: %s' % task.get('msg'))
        expect(task, True, 'needs-upgrade', current=False, software='1.0.2')
        if sim.triggers_so_far(1):
            fail('the check sent a trigger')

        status, task = play(work, env, orb_upgrade)
        if status != 0:
            fail('the upgrade failed: %s' % task.get('msg'))
        expect(task, True, 'success', version=IMAGE_VERSION, uploaded=True)
        triggered = sim.triggers_so_far(2)
        if triggered != ADAPTERS:
            fail('not one trigger per adapter: %s' % triggered)

        status, task = play(work, env, orb_upgrade)
        if status != 0:
            fail('the second upgrade failed: %s' % task.get('msg'))
        expect(task, False, 'current', current=True, software=IMAGE_VERSION)

        status, task = play(work, env, orb_upgrade, password='wrong')
        # 2: a host failed (the callback leaves the result's own "failed" out).
        if status != 2 or task.get('failed_adapters') != ADAPTERS:
            fail('a wrong password did not fail the task')
        expect(task, False, 'authentication-refused')
        for adapter in ADAPTERS:
            if '%s: authentication-refused' % adapter not in task.get('msg', ''):
                fail('the failure does not name %s: %s' % (adapter, task.get('msg')))
        triggered = sim.triggers_so_far(3)
        if triggered != ADAPTERS:
            fail('triggers after the upgrade: %s' % triggered)
    except AssertionError as error:
        print('FAILED: %s\norb-sim said (last lines):\n%s' % (error, '\n'.join(sim.lines[-40:])))
        return 1
    finally:
        sim.stop()
    print('passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
