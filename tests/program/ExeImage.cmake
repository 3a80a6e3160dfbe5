# Tests that read the built schema-modify.exe back without running it: its
# resources (through the loader, as a data file) and its PE headers.
add_wine_test(ExeImageTest resources
  ExeImage.cpp
  DialogTemplateTest.cpp
  PicturesTest.cpp
  ManifestVersionTest.cpp
  PeHeaderTest.cpp
)
target_link_libraries(ExeImageTest PRIVATE gtest_main test_support version comctl32 gdi32 user32)
target_compile_definitions(ExeImageTest PRIVATE
  SCHEMA_MODIFY_VERSION="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
add_dependencies(ExeImageTest schema-modify)
set_tests_properties(ExeImageTest PROPERTIES
  LABELS "resources;hardening;quick"
  ENVIRONMENT "SCHEMA_MODIFY_EXE=$<TARGET_FILE:schema-modify>")
