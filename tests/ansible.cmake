# The Ansible collection orb.fleet (ansible/), checked as its users get it:
# ansible-galaxy builds the tarball and installs it into the build tree
# (ansible.collection, the fixture of the others), then, from there:
# ansible-test sanity (offline, with Debian's checkers) and units; ansible-lint
# on the example playbook (production profile); the documentation, the
# tarball's licence and changelog, the example playbook in check mode on a site
# without orb-upgrade (ansible.module). With the built orb-upgrade against
# orb-sim on 127.0.196.x (root for ports 80 and 69, skipped otherwise):
# ansible-test integration (ansible.integration) and the example playbook at a
# site where one adapter fails (ansible.playbook).
set(ORB_ANSIBLE_WORK ${CMAKE_CURRENT_BINARY_DIR}/ansible-collection)
set(ORB_ANSIBLE_COLLECTION ${CMAKE_CURRENT_LIST_DIR}/ansible/collection)

add_test(NAME ansible.collection COMMAND ${ORB_ANSIBLE_COLLECTION} build ${ORB_ANSIBLE_WORK}
                                         ${PROJECT_SOURCE_DIR}/ansible/ansible_collections/orb/fleet)
set_tests_properties(ansible.collection PROPERTIES LABELS ansible TIMEOUT 120 FIXTURES_SETUP orb_fleet_installed)

foreach(step sanity units lint)
  add_test(NAME ansible.${step} COMMAND ${ORB_ANSIBLE_COLLECTION} ${step} ${ORB_ANSIBLE_WORK})
  set_tests_properties(ansible.${step} PROPERTIES LABELS ansible TIMEOUT 600 FIXTURES_REQUIRED orb_fleet_installed)
endforeach()
# ansible-test keeps its results and environments in the installed collection
# and WORK/home: one of its runs at a time.
set_tests_properties(ansible.sanity ansible.units PROPERTIES RESOURCE_LOCK orb_fleet_ansible_test)

add_test(NAME ansible.module COMMAND ${CMAKE_CURRENT_LIST_DIR}/ansible/module_test.py ${ORB_ANSIBLE_WORK})
set_tests_properties(ansible.module PROPERTIES LABELS ansible TIMEOUT 120 FIXTURES_REQUIRED orb_fleet_installed)

add_test(NAME ansible.integration
  COMMAND ${ORB_ANSIBLE_COLLECTION} integration ${ORB_ANSIBLE_WORK} $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:orb-sim>)
add_test(NAME ansible.playbook
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/ansible/fleet_playbook_test.py ${ORB_ANSIBLE_WORK} $<TARGET_FILE:orb-upgrade>
          $<TARGET_FILE:orb-sim>)
# Their runs serve TFTP on 127.0.0.1, as the unattended runs of the program
# itself do, and both play the adapters 127.0.196.1 and .2.
set_tests_properties(ansible.integration ansible.playbook PROPERTIES LABELS ansible TIMEOUT 600
  SKIP_RETURN_CODE 77 FIXTURES_REQUIRED orb_fleet_installed
  RESOURCE_LOCK "listener-ports-127.0.0.1;orb_fleet_ansible_test")
