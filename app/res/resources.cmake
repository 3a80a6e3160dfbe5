# The program's resources: the pictures and icons are drawn into the build
# tree by draw_images.py (nothing binary is kept in the repository), the
# version header and the manifest are filled in from the project's version.
#
#   include(${CMAKE_SOURCE_DIR}/app/res/resources.cmake)
#   schema_modify_add_resources(<target>)
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(SCHEMA_MODIFY_RES_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SCHEMA_MODIFY_RES_OUT ${CMAKE_BINARY_DIR}/app/res)

configure_file(${SCHEMA_MODIFY_RES_DIR}/version.h.in ${SCHEMA_MODIFY_RES_OUT}/version.h @ONLY)
configure_file(${SCHEMA_MODIFY_RES_DIR}/schema-modify.manifest.in
               ${SCHEMA_MODIFY_RES_OUT}/schema-modify.manifest @ONLY)

set(SCHEMA_MODIFY_IMAGES
  ${SCHEMA_MODIFY_RES_OUT}/banner.bmp
  ${SCHEMA_MODIFY_RES_OUT}/success.bmp
  ${SCHEMA_MODIFY_RES_OUT}/failure.bmp
  ${SCHEMA_MODIFY_RES_OUT}/schema-modify.ico)
add_custom_command(
  OUTPUT ${SCHEMA_MODIFY_IMAGES}
  COMMAND Python3::Interpreter ${SCHEMA_MODIFY_RES_DIR}/draw_images.py ${SCHEMA_MODIFY_RES_OUT}
  DEPENDS ${SCHEMA_MODIFY_RES_DIR}/draw_images.py
  COMMENT "Drawing the pictures and icons"
  VERBATIM)

# windres upper-cases class names given as strings; the .res file is put
# right before it becomes an object (see restore_class_case.py).
set(SCHEMA_MODIFY_RC ${SCHEMA_MODIFY_RES_DIR}/schema-modify.rc)
set(SCHEMA_MODIFY_RES_OBJ ${SCHEMA_MODIFY_RES_OUT}/schema-modify.res.obj)
add_custom_command(
  OUTPUT ${SCHEMA_MODIFY_RES_OBJ}
  COMMAND ${CMAKE_RC_COMPILER} -I${SCHEMA_MODIFY_RES_OUT} -I${SCHEMA_MODIFY_RES_DIR} -I${CMAKE_SOURCE_DIR}
          -O res -o ${SCHEMA_MODIFY_RES_OUT}/windres.res ${SCHEMA_MODIFY_RC}
  COMMAND Python3::Interpreter ${SCHEMA_MODIFY_RES_DIR}/restore_class_case.py
          ${SCHEMA_MODIFY_RES_OUT}/windres.res ${SCHEMA_MODIFY_RES_OUT}/schema-modify.res
          msctls_progress32
  COMMAND ${CMAKE_RC_COMPILER} -J res -O coff
          -o ${SCHEMA_MODIFY_RES_OBJ} ${SCHEMA_MODIFY_RES_OUT}/schema-modify.res
  DEPENDS ${SCHEMA_MODIFY_RC} ${SCHEMA_MODIFY_RES_DIR}/resource.h ${CMAKE_SOURCE_DIR}/gui/DialogIds.h
          ${SCHEMA_MODIFY_RES_DIR}/restore_class_case.py ${SCHEMA_MODIFY_IMAGES}
          ${SCHEMA_MODIFY_RES_OUT}/version.h ${SCHEMA_MODIFY_RES_OUT}/schema-modify.manifest
  COMMENT "Compiling the resources"
  VERBATIM)
add_custom_target(schema-modify-resources DEPENDS ${SCHEMA_MODIFY_RES_OBJ})

# Links the compiled resources into target. Code takes the identifiers it
# needs from gui/DialogIds.h, never from here.
function(schema_modify_add_resources target)
  target_sources(${target} PRIVATE ${SCHEMA_MODIFY_RES_OBJ})
  set_source_files_properties(${SCHEMA_MODIFY_RES_OBJ} PROPERTIES
    EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_dependencies(${target} schema-modify-resources)
endfunction()
