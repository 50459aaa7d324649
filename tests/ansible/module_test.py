#!/usr/bin/python3
# The collection orb.fleet as installed from its tarball (tests/ansible/collection
# build WORK): ansible-doc renders the module's documentation; the tarball
# carries the licence and the links Galaxy shows; the changelog's fragments use
# the sections its config names (antsibull-changelog, whose sanity test checks
# that, is not packaged by Debian); the example playbook parses, and in check
# mode on a site computer without orb-upgrade it says so and changes nothing
# there. The module's own tests are the collection's (tests/unit).
#
#   module_test.py WORK
# Debian's interpreter, the one ansible-core is installed for.
import json
import os
import subprocess
import sys
import tempfile
import unittest

import yaml

WORK = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ''
COLLECTIONS = os.path.join(WORK, 'collections')
INSTALLED = os.path.join(COLLECTIONS, 'ansible_collections', 'orb', 'fleet')
EXAMPLES = os.path.join(WORK, 'examples')


def read_yaml(*path):
    with open(os.path.join(INSTALLED, *path)) as f:
        return yaml.safe_load(f)


class InstalledCollection(unittest.TestCase):
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS, ANSIBLE_NOCOLOR='1')

    def test_ansible_doc_renders_the_options(self):
        for module, words in (('orb.fleet.upgrade', ('adapters', 'password', 'pc_address', 'parallel', 'force',
                                                     'request_timeout', 'http_timeout', 'batch_timeout',
                                                     'executable', 'adapter_results', 'async', 'Python 3')),
                              ('orb.fleet.adapter_info', ('adapters', 'password', 'behind', 'unreadable',
                                                          'versions', 'readable'))):
            run = subprocess.run(['ansible-doc', module], env=self.env, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            for word in words + ('(@orb-upgrade)', 'platforms: posix', 'version 1.1.0 of orb.fleet'):
                self.assertIn(word, run.stdout, module)

    def test_the_tarball_says_its_licence_and_links_nowhere_that_is_not(self):
        with open(os.path.join(INSTALLED, 'MANIFEST.json')) as f:
            info = json.load(f)['collection_info']
        self.assertEqual(info['license'], ['GPL-3.0-or-later'])
        # A placeholder on a reserved example domain would lead nowhere.
        for link in ('repository', 'documentation', 'homepage', 'issues'):
            self.assertNotIn('.example', info.get(link) or '', link)
        with open(os.path.join(INSTALLED, 'LICENSE')) as f:
            self.assertIn('GNU GENERAL PUBLIC LICENSE\n                       Version 3', f.read())
        with open(os.path.join(INSTALLED, 'plugins', 'modules', 'upgrade.py')) as f:
            self.assertIn('# GNU General Public License v3.0+', f.read())

    def test_the_changelog_agrees_with_the_version_and_its_fragments(self):
        config = read_yaml('changelogs', 'config.yaml')
        sections = {name for name, title in config['sections']} | {config['prelude_section_name'], 'trivial'}
        fragments = os.path.join(INSTALLED, 'changelogs', config['notesdir'])
        names = sorted(name for name in os.listdir(fragments) if name.endswith('.yml'))
        # The file the config names is there, and shows the latest release.
        with open(os.path.join(INSTALLED, 'changelogs', config['changelog_filename_template'])) as f:
            rendered = f.read()
        releases = read_yaml('changelogs', 'changelog.yaml')['releases']
        for version, release in releases.items():
            self.assertIn('v%s\n' % version, rendered)
            for section, notes in release.get('changes', {}).items():
                self.assertIn(section, sections, version)
        for name in names:
            fragment = read_yaml('changelogs', config['notesdir'], name)
            self.assertLessEqual(set(fragment), sections, name)
            for section, notes in fragment.items():
                if section != config['prelude_section_name']:
                    self.assertTrue(notes and all(isinstance(note, str) for note in notes), (name, section))
        with open(os.path.join(INSTALLED, 'MANIFEST.json')) as f:
            version = json.load(f)['collection_info']['version']
        # The version is released: its fragments are in the changelog, none is pending.
        self.assertIn(version, releases)
        self.assertEqual(names, [])
        self.assertEqual(sorted(releases)[-1], version)

    def test_the_example_playbook_parses(self):
        run = subprocess.run(['ansible-playbook', '--syntax-check', '-i', os.path.join(EXAMPLES, 'inventory.ini'),
                              os.path.join(EXAMPLES, 'upgrade-sites.yml')],
                             env=self.env, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_check_mode_on_a_site_without_orb_upgrade(self):
        with tempfile.TemporaryDirectory() as scratch:
            inventory = os.path.join(scratch, 'inventory.ini')
            with open(inventory, 'w') as f:
                f.write('[sites]\nlocalhost ansible_connection=local ansible_python_interpreter=%s\n'
                        % sys.executable)
            package = os.path.join(scratch, 'orb-upgrade_1.0.0_amd64.deb')
            open(package, 'w').close()
            config = os.path.join(scratch, 'ansible.cfg')
            open(config, 'w').close()
            env = dict(self.env, ANSIBLE_CONFIG=config, ANSIBLE_LOCAL_TEMP=os.path.join(scratch, 'tmp'),
                       ANSIBLE_REMOTE_TEMP=os.path.join(scratch, 'tmp'))
            # The package file is copied and installed only in a real run;
            # su, not sudo, for become: this computer's user is root already.
            run = subprocess.run(
                ['ansible-playbook', '--check', '-i', inventory, os.path.join(EXAMPLES, 'upgrade-sites.yml'),
                 '-e', 'ansible_become_method=su', '-e', 'orb_deb=' + package, '-e', 'orb_password=secret',
                 '-e', 'orb_executable=' + os.path.join(scratch, 'bin', 'orb-upgrade'),
                 '-e', '{"orb_adapters": ["127.0.196.1", "127.0.196.2"]}'],
                env=env, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn('orb-upgrade is not installed on localhost yet: the run installs it, then upgrades '
                          '127.0.196.1, 127.0.196.2', run.stdout)
            self.assertIn("TASK [Upgrade the site's adapters] ***", run.stdout)
            self.assertRegex(run.stdout, r"TASK \[Upgrade the site's adapters\] \*+\nskipping: \[localhost\]")
            self.assertFalse(os.path.exists('/var/cache/orb-upgrade/' + os.path.basename(package)))


if __name__ == '__main__':
    unittest.main()
