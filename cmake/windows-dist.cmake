# SPDX-License-Identifier: Apache-2.0
# What the Windows build ships: dist/snmphelper-<version>-win32/ with the
# DLL, its import library and .def, the header, the tool and a text on use,
# and a zip of that folder beside it.
set(SNMPHELPER_VERSION ${PROJECT_VERSION})
set(SNMPHELPER_DIST_NAME snmphelper-${PROJECT_VERSION}-win32)
set(SNMPHELPER_DIST_ROOT ${CMAKE_BINARY_DIR}/dist)
set(SNMPHELPER_DIST_DIR ${SNMPHELPER_DIST_ROOT}/${SNMPHELPER_DIST_NAME})
set(SNMPHELPER_DIST_ZIP ${SNMPHELPER_DIST_ROOT}/${SNMPHELPER_DIST_NAME}.zip)
configure_file(${CMAKE_SOURCE_DIR}/platform/win32/dist-README.txt ${CMAKE_BINARY_DIR}/dist-README.txt
  @ONLY NEWLINE_STYLE WIN32)

set(SNMPHELPER_DIST_FILES
  ${SNMPHELPER_DIST_DIR}/snmphelper.dll ${SNMPHELPER_DIST_DIR}/snmphelper.lib
  ${SNMPHELPER_DIST_DIR}/snmphelper.def ${SNMPHELPER_DIST_DIR}/snmphelper.h
  ${SNMPHELPER_DIST_DIR}/snmphelper.exe ${SNMPHELPER_DIST_DIR}/README.txt)
add_custom_command(OUTPUT ${SNMPHELPER_DIST_FILES} ${SNMPHELPER_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SNMPHELPER_DIST_DIR} ${SNMPHELPER_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SNMPHELPER_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:snmphelper> $<TARGET_LINKER_FILE:snmphelper>
          ${CMAKE_SOURCE_DIR}/platform/win32/snmphelper.def ${CMAKE_SOURCE_DIR}/include/snmphelper.h
          $<TARGET_FILE:snmphelper-cli> ${SNMPHELPER_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/dist-README.txt ${SNMPHELPER_DIST_DIR}/README.txt
  # The debugging information stays in the build folder's copies.
  COMMAND ${CMAKE_STRIP} --strip-debug ${SNMPHELPER_DIST_DIR}/snmphelper.dll ${SNMPHELPER_DIST_DIR}/snmphelper.exe
  COMMAND ${CMAKE_COMMAND} -E tar cf ${SNMPHELPER_DIST_ZIP} --format=zip ${SNMPHELPER_DIST_NAME}
  WORKING_DIRECTORY ${SNMPHELPER_DIST_ROOT}
  DEPENDS snmphelper snmphelper-cli ${CMAKE_SOURCE_DIR}/platform/win32/snmphelper.def
          ${CMAKE_SOURCE_DIR}/include/snmphelper.h ${CMAKE_BINARY_DIR}/dist-README.txt
  COMMENT "Shipping folder ${SNMPHELPER_DIST_DIR} and its zip"
  VERBATIM)
add_custom_target(snmphelper-dist ALL DEPENDS ${SNMPHELPER_DIST_FILES} ${SNMPHELPER_DIST_ZIP})
