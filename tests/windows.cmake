# SPDX-License-Identifier: Apache-2.0
# The Windows lane: the platform-independent tests, cross-built with
# MinGW and run under Wine. GoogleTest is built here from Debian's sources.
# The tests that touch the registry share Wine's, so every test runs alone.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
get_directory_property(saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${saved_options}")

set(WINDOWS_TEST_SUPPORT
  support/ber_build.cpp support/debug_capture.cpp support/heap_faults.cpp support/hex.cpp
  support/message_variants.cpp support/platform_folder.cpp support/printer_hive.cpp support/test_files.cpp
  support/win32/temp_registry.cpp)
add_library(test_support STATIC ${WINDOWS_TEST_SUPPORT})
target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(test_support PUBLIC snmphelper_core gtest gmock)

set(FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
set(TEST_FIXTURES "")
include(fixtures/fixtures.cmake)
add_test_fixtures("fixtures/fake_dlcapi.cpp;${FAKE_DLCAPI_EVENTS}" "fake_dlcapi"
                  "fake_dlcapi_without_acslan:FAKE_WITHOUT_AcsLan")

set(WINDOWS_TESTS
  ascii_rewrite_test ber_decode_test ber_encode_test codec_round_trip_test debug_output_test
  dlc_access_test dlc_platform_test dlc_transport_test guid_test object_groups_test
  packet_forming_test pdu_encoder_test printer_config_test request_id_test request_record_test
  response_decoder_test response_extraction_test result_text_test string_table_test trap_decoder_test
  value_decoding_test)
foreach(name ${WINDOWS_TESTS})
  # The library's string table, as the DLL holds it (see support/test_module.h).
  add_executable(${name} ${name}.cpp support/per_test/test_paths.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/snmphelper.rc)
  target_compile_definitions(${name} PRIVATE
    SNMPHELPER_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}" SNMPHELPER_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_link_libraries(${name} PRIVATE test_support gtest_main)
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} ${TEST_FIXTURES})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
endforeach()

# snmphelper.dll itself, loaded as a Windows program loads it, against the
# Linux build's printer simulator (SNMPHELPER_SIMULATOR): the lane runs in a
# private network namespace, where the simulator may serve port 161.
set(SNMPHELPER_SIMULATOR "${CMAKE_SOURCE_DIR}/build/tools/snmphelper-printer-sim" CACHE FILEPATH
    "The printer simulator of a Linux build, for the Windows lane's transactions")
add_executable(dll_test windows/dll_test.cpp support/per_test/test_paths.cpp)
target_compile_definitions(dll_test PRIVATE
  SNMPHELPER_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}" SNMPHELPER_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
target_link_libraries(dll_test PRIVATE test_support gtest_main)
target_link_options(dll_test PRIVATE -static)
add_dependencies(dll_test snmphelper)
add_test(NAME dll_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/with_simulator.sh ${SNMPHELPER_SIMULATOR}
  ${CMAKE_CURRENT_SOURCE_DIR}/support/wine_run.sh $<TARGET_FILE:dll_test>)
set_tests_properties(dll_test PROPERTIES RUN_SERIAL ON)

# A port monitor's view: a C program compiled with the shipped header alone
# and linked against the shipped import library (no internal headers, no
# library target), run beside a copy of the shipped DLL, against the
# simulator: codec calls, blocks released through the DLL, a transaction, a
# group fetch, and a __stdcall observer.
add_executable(c_caller windows/c_caller.c)
add_dependencies(c_caller snmphelper-dist)
target_include_directories(c_caller PRIVATE ${SNMPHELPER_DIST_DIR})
target_link_libraries(c_caller PRIVATE ${SNMPHELPER_DIST_DIR}/snmphelper.lib advapi32)
set_target_properties(c_caller PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/c_caller)
add_custom_command(TARGET c_caller POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${SNMPHELPER_DIST_DIR}/snmphelper.dll $<TARGET_FILE_DIR:c_caller>
  VERBATIM)
add_test(NAME c_caller COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/with_simulator.sh ${SNMPHELPER_SIMULATOR}
  ${CMAKE_CURRENT_SOURCE_DIR}/support/wine_run.sh $<TARGET_FILE:c_caller>)
set_tests_properties(c_caller PROPERTIES RUN_SERIAL ON)
