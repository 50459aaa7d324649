# The Ansible collection orb.fleet (ansible/): the module against a stand-in for
# orb-upgrade, its documentation and the example playbook.
add_test(NAME ansible.module COMMAND ${CMAKE_CURRENT_LIST_DIR}/ansible/module_test.py)
set_tests_properties(ansible.module PROPERTIES LABELS ansible TIMEOUT 120)
