# The Ansible collection orb.fleet (ansible/): the module against a stand-in for
# orb-upgrade, its documentation and the example playbook (ansible.module); and
# plays with the built orb-upgrade against two orb-sim adapters on 127.0.196.x
# (ansible.playbook: root for ports 80 and 69, skipped otherwise; a minute of it
# is the adapters' restart wait).
add_test(NAME ansible.module COMMAND ${CMAKE_CURRENT_LIST_DIR}/ansible/module_test.py)
set_tests_properties(ansible.module PROPERTIES LABELS ansible TIMEOUT 120)

add_test(NAME ansible.playbook
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/ansible/fleet_playbook_test.py $<TARGET_FILE:orb-upgrade>
          $<TARGET_FILE:orb-sim> ${CMAKE_CURRENT_BINARY_DIR}/ansible-playbook)
# Its runs serve TFTP on 127.0.0.1, as the unattended runs of the program itself do.
set_tests_properties(ansible.playbook PROPERTIES LABELS ansible TIMEOUT 600 SKIP_RETURN_CODE 77
  RESOURCE_LOCK listener-ports-127.0.0.1)
