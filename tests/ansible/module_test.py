#!/usr/bin/python3
# The module orb.fleet.upgrade against a stand-in for orb-upgrade
# (fake-orb-upgrade): the command line it builds, where the password goes, and
# how the JSON lines become changed, failed and the per-adapter results. Then
# ansible-doc renders its documentation and the example playbook parses.
# Debian's interpreter, the one ansible-core is installed for.
import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTIONS = os.path.join(HERE, '..', '..', 'ansible')
MODULE = os.path.join(COLLECTIONS, 'ansible_collections', 'orb', 'fleet', 'plugins', 'modules', 'upgrade.py')
FAKE = os.path.join(HERE, 'fake-orb-upgrade')
PASSWORD = 'pass word'


def status(adapter, current=False):
    return {'adapter': adapter, 'event': 'status', 'serial': 'ORB41000001', 'mac': '00:1A:2B:3C:4D:5E',
            'software': '1.0.2', 'hardware': '4100-A1', 'product': 'ORB4100', 'current': current,
            'image-version': '2.0.10(a)', 'text': 'status'}


def result(adapter, name, code=0, error=''):
    return {'adapter': adapter, 'event': 'result', 'result': name, 'code': code, 'version': '2.0.10(a)',
            'image-version': '2.0.10(a)', 'error': error, 'uploaded': name == 'success', 'text': name}


class UpgradeModule(unittest.TestCase):
    def run_module(self, lines, rc=0, stderr='', check=False, **options):
        """The module's exit status and answer, and how it called the program (None: not at all)."""
        with tempfile.TemporaryDirectory() as work:
            args = dict(adapters=['10.1.0.1', '10.1.0.2'], password=PASSWORD, executable=FAKE,
                        _ansible_check_mode=check)
            args.update(options)
            path = os.path.join(work, 'args.json')
            with open(path, 'w') as f:
                json.dump({'ANSIBLE_MODULE_ARGS': args}, f)
            output = ''.join((json.dumps(line) if isinstance(line, dict) else line) + '\n' for line in lines)
            env = dict(os.environ, FAKE_ORB_CALL=os.path.join(work, 'call.json'), FAKE_ORB_OUTPUT=output,
                       FAKE_ORB_STDERR=stderr, FAKE_ORB_STATUS=str(rc))
            env.pop('ORB_PASSWORD', None)
            run = subprocess.run([sys.executable, MODULE, path], env=env, capture_output=True, text=True)
            self.assertNotIn(PASSWORD, run.stdout)
            call = None
            if os.path.exists(env['FAKE_ORB_CALL']):
                with open(env['FAKE_ORB_CALL']) as f:
                    call = json.load(f)
            return run.returncode, json.loads(run.stdout), call

    def test_the_command_line_and_the_password_in_the_environment(self):
        code, answer, call = self.run_module(
            [status('10.1.0.1'), result('10.1.0.1', 'success'), status('10.1.0.8', True),
             result('10.1.0.8', 'current'), {'adapter': '10.1.0.1', 'event': 'summary', 'result': 'success'}],
            adapters=['10.1.0.1', '10.1.0.008'], pc_address='10.1.0.200', user='root')
        self.assertEqual(call['argv'], ['--unattended', '--accept-warning', '--json', '--address', '10.1.0.1',
                                        '--address', '10.1.0.008', '--pc-address', '10.1.0.200',
                                        '--user', 'root', '--parallel', '4'])
        self.assertEqual(call['password'], PASSWORD)
        self.assertEqual((code, answer['changed'], answer['upgraded'], answer['failed_adapters']),
                         (0, True, ['10.1.0.1'], []))
        self.assertEqual(sorted(answer['adapter_results']), ['10.1.0.1', '10.1.0.8'])
        first = answer['adapter_results']['10.1.0.1']
        self.assertEqual((first['result'], first['code'], first['version'], first['image_version'],
                          first['uploaded'], first['serial'], first['software'], first['current']),
                         ('success', 0, '2.0.10(a)', '2.0.10(a)', True, 'ORB41000001', '1.0.2', False))

    def test_changed_and_failed_from_the_results(self):
        a, b = '10.1.0.1', '10.1.0.2'
        cases = [
            # (name, lines, rc, check, changed, failed adapters)
            ('all current', [result(a, 'current'), result(b, 'current')], 0, False, False, []),
            ('check: one would be upgraded', [result(a, 'needs-upgrade', 10), result(b, 'current')], 10, True,
             True, []),
            ('check: all current', [result(a, 'current'), result(b, 'current')], 0, True, False, []),
            ('needs-upgrade outside check mode', [result(a, 'needs-upgrade', 10), result(b, 'current')], 10,
             False, False, [a]),
            ('one refused', [result(a, 'success'), result(b, 'authentication-refused', 4)], 1, False, True, [b]),
            ('no result for one', [status(b), result(a, 'success')], 0, False, True, [b]),
            ('an exit status that no result explains', [result(a, 'success'), result(b, 'success')], 8, False,
             True, []),
        ]
        for name, lines, rc, check, changed, failed in cases:
            with self.subTest(name):
                code, answer, call = self.run_module(lines, rc=rc, check=check)
                self.assertEqual('--check' in call['argv'], check)
                self.assertEqual((answer['changed'], answer['failed_adapters']), (changed, failed))
                self.assertEqual(code != 0, bool(failed) or rc not in (0, 10))
                # Stated either way: Ansible fails a result with an rc but 0 and no "failed".
                self.assertEqual(answer.get('failed'), code != 0)

    def test_a_failure_names_the_adapter_its_result_and_the_other_output(self):
        code, answer, _ = self.run_module(
            ['orb-upgrade: a line that is no event', result('10.1.0.1', 'current'),
             result('10.1.0.2', 'not-reachable', 3, 'Connection failed')], rc=1)
        self.assertEqual(code, 1)
        self.assertIn('10.1.0.2: not-reachable (Connection failed)', answer['msg'])
        self.assertNotIn('10.1.0.1', answer['msg'])
        self.assertIn('a line that is no event', answer['msg'])
        self.assertEqual(answer['adapter_results']['10.1.0.1']['result'], 'current')

    def test_a_usage_error_and_parallel_out_of_range(self):
        code, answer, _ = self.run_module([], rc=2, stderr='orb-upgrade: --pc-address 10.9.9.9 is not offered\n',
                                          force=True, parallel=100)
        self.assertEqual(code, 1)
        self.assertIn('refused its command line; its output: orb-upgrade: --pc-address 10.9.9.9', answer['msg'])
        self.assertEqual(answer['cmd'][-3:], ['--parallel', '100', '--force'])
        for parallel in (0, 1001):
            code, answer, call = self.run_module([], parallel=parallel)
            self.assertEqual((code, call), (1, None))
            self.assertIn('parallel must be 1 to 1000', answer['msg'])


class CollectionFiles(unittest.TestCase):
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS, ANSIBLE_NOCOLOR='1')

    def test_ansible_doc_renders_the_options(self):
        run = subprocess.run(['ansible-doc', 'orb.fleet.upgrade'], env=self.env, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        for word in ('adapters', 'password', 'pc_address', 'parallel', 'force', 'executable', 'adapter_results'):
            self.assertIn(word, run.stdout)

    def test_the_example_playbook_parses(self):
        examples = os.path.join(COLLECTIONS, 'examples')
        run = subprocess.run(['ansible-playbook', '--syntax-check', '-i', os.path.join(examples, 'inventory.ini'),
                              os.path.join(examples, 'upgrade-sites.yml')],
                             env=self.env, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)


if __name__ == '__main__':
    unittest.main()
