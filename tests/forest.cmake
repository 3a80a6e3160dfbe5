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
set(FOREST_PROVIDER_ENV
  "WINEADSI_SERVER=${FOREST_IP}"
  "WINEADSI_USER=Administrator@samdom.test"
  "WINEADSI_PASSWORD=Passw0rd-Admin1"
)
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

# Provisioning takes 10 to 20 s the first time; later runs only copy.
add_test(NAME forest_start
  COMMAND ${FOREST_SCRIPT} fresh ${FOREST_TEMPLATE_DIR} ${FOREST_RUN_DIR} ${FOREST_IP})
set_tests_properties(forest_start PROPERTIES
  FIXTURES_SETUP forest
  TIMEOUT 300
  LABELS "directory;program")

add_test(NAME forest_stop COMMAND ${FOREST_SCRIPT} remove ${FOREST_RUN_DIR})
set_tests_properties(forest_stop PROPERTIES
  FIXTURES_CLEANUP forest
  TIMEOUT 60
  LABELS "directory;program")
