# The ADSI provider's own tests against the forest (add_directory_test: the
# provider beside each exe, the forest's settings in the environment).
add_directory_test(provider_tests
  ProviderPathTest.cpp
  ProviderPropertyTest.cpp
  ProviderSearchTest.cpp
  ProviderErrorTest.cpp
  ProviderSupportTest.cpp
)

# Stops the forest's copy and starts it again: a test of its own, so that a
# failure here cannot hide the others' results.
add_directory_test(provider_server_down_tests
  ProviderServerDownTest.cpp
  ProviderSupportTest.cpp
)
