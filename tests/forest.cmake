# The throwaway Samba AD forest that the directory and program tests run
# against: provisioned once per build tree into a template, copied fresh and
# started by the setup test of the fixture "forest", stopped by its pid and
# removed by the cleanup test. Tests that need it set FIXTURES_REQUIRED forest
# and RESOURCE_LOCK forest (one test at a time talks to it) and take the
# provider's settings from FOREST_PROVIDER_ENV.
set(FOREST_IP 127.0.0.2 CACHE STRING "Loopback address on which the test forest listens")
if(NOT FOREST_IP MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "FOREST_IP must be a loopback address (127.x.y.z), not '${FOREST_IP}'")
endif()

set(FOREST_SCRIPT ${CMAKE_SOURCE_DIR}/tools/forest.sh)
set(FOREST_TEMPLATE_DIR ${CMAKE_BINARY_DIR}/forest-template)
set(FOREST_RUN_DIR ${CMAKE_BINARY_DIR}/forest-run)

# What the project's ADSI provider reads to reach the forest.
set(FOREST_CREDENTIALS
  "WINEADSI_USER=Administrator@samdom.test"
  "WINEADSI_PASSWORD=Passw0rd-Admin1"
)
set(FOREST_PROVIDER_ENV "WINEADSI_SERVER=${FOREST_IP}" ${FOREST_CREDENTIALS})
# What tests need to change the forest or read it back on the Linux side.
set(FOREST_TEST_ENV
  "FOREST_RUN_DIR=${FOREST_RUN_DIR}"
  "FOREST_SCRIPT=${FOREST_SCRIPT}"
  "FOREST_IP=${FOREST_IP}"
)

find_program(SAMBA_EXECUTABLE samba PATHS /usr/sbin /sbin)
if(NOT SAMBA_EXECUTABLE)
  message(WARNING "samba is not installed (tools/install-deps.sh): the forest tests will fail")
endif()

# A running copy of the template as a fixture: the test NAME_start makes a
# fresh copy in RUN_DIR on IP, NAME_stop removes it. Provisioning takes 10 to
# 20 s the first time, under a lock, so fixtures that start together share
# one template; later runs only copy. Copies on separate addresses share
# nothing and may run side by side.
#   add_forest_fixture(NAME FIXTURE IP RUN_DIR LABELS)
function(add_forest_fixture name fixture ip run_dir labels)
  add_test(NAME ${name}_start COMMAND ${FOREST_SCRIPT} fresh ${FOREST_TEMPLATE_DIR} ${run_dir} ${ip})
  set_tests_properties(${name}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 300 LABELS "${labels}")
  add_test(NAME ${name}_stop COMMAND ${FOREST_SCRIPT} remove ${run_dir})
  set_tests_properties(${name}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 60 LABELS "${labels}")
endfunction()

add_forest_fixture(forest forest ${FOREST_IP} ${FOREST_RUN_DIR} "directory;program")

# The two-DC forest (tools/forest.sh provision-pair): provisioned and joined
# once per build tree into a stopped template by the fixture "forest-pair";
# each test takes a fresh copy of it (the agent's pair-fresh), and the cleanup
# test stops and removes the last one. A copy keeps the template's addresses,
# so one copy runs at a time (RESOURCE_LOCK forest-pair).
set(FOREST_PAIR_IPS 127.0.0.4 127.0.0.5 CACHE STRING "Loopback addresses of the two-DC forest's DC1 and DC2")
foreach(ip ${FOREST_PAIR_IPS})
  if(NOT ip MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "FOREST_PAIR_IPS must be loopback addresses (127.x.y.z), not '${ip}'")
  endif()
endforeach()
set(FOREST_PAIR_TEMPLATE_DIR ${CMAKE_BINARY_DIR}/forest-pair-template)
set(FOREST_PAIR_RUN_DIR ${CMAKE_BINARY_DIR}/forest-pair-run)
string(REPLACE ";" " " forest_pair_ips_words "${FOREST_PAIR_IPS}")
set(FOREST_PAIR_TEST_ENV
  "FOREST_SCRIPT=${FOREST_SCRIPT}"
  "FOREST_PAIR_TEMPLATE=${FOREST_PAIR_TEMPLATE_DIR}"
  "FOREST_PAIR_RUN=${FOREST_PAIR_RUN_DIR}"
  "FOREST_PAIR_IPS=${forest_pair_ips_words}"
)

add_test(NAME forest_pair_provision
  COMMAND ${FOREST_SCRIPT} provision-pair ${FOREST_PAIR_TEMPLATE_DIR} ${FOREST_PAIR_IPS})
set_tests_properties(forest_pair_provision PROPERTIES
  FIXTURES_SETUP forest-pair
  RESOURCE_LOCK forest-pair-provision
  TIMEOUT 600
  LABELS "directory;program")

add_test(NAME forest_pair_stop COMMAND ${FOREST_SCRIPT} remove ${FOREST_PAIR_RUN_DIR})
set_tests_properties(forest_pair_stop PROPERTIES
  FIXTURES_CLEANUP forest-pair
  TIMEOUT 60
  LABELS "directory;program")

# Inside the test command's private network namespace, a name that the
# forest's hosts file lacks resolves nowhere and no address off loopback is
# reachable.
add_test(NAME network_isolation
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/isolation.sh ${FOREST_PAIR_TEMPLATE_DIR}/hosts)
set_tests_properties(network_isolation PROPERTIES
  FIXTURES_REQUIRED forest-pair
  SKIP_RETURN_CODE 77
  TIMEOUT 60
  LABELS "directory;program")
