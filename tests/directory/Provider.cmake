# The ADSI provider's own tests against the forest (add_directory_test: the
# provider in the prefix's system32, the forest's settings in the environment).
add_directory_test(provider_tests
  ProviderPathTest.cpp
  ProviderPropertyTest.cpp
  ProviderSearchTest.cpp
  ProviderErrorTest.cpp
  ProviderSupportTest.cpp
)
# A silent server of its own on loopback (ProviderErrorTest.cpp).
target_link_libraries(provider_tests PRIVATE ws2_32)

# Stops the forest's copy and starts it again: a test of its own, so that a
# failure here cannot hide the others' results.
add_directory_test(provider_server_down_tests
  ProviderServerDownTest.cpp
  ProviderSupportTest.cpp
)

# The Kerberos bind: the Kerberos library takes the forest's configuration
# and ticket cache (tools/forest.sh kerberos) from the Unix environment.
add_directory_test(provider_kerberos_tests
  ProviderKerberosTest.cpp
  ProviderSupportTest.cpp
)
set_property(TEST provider_kerberos_tests APPEND PROPERTY ENVIRONMENT
  "KRB5_CONFIG=${FOREST_RUN_DIR}/krb5.conf"
  "KRB5CCNAME=FILE:${FOREST_RUN_DIR}/krb5cc")
