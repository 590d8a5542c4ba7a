# SPDX-License-Identifier: Apache-2.0
# The command-line tool's sources, listed once for the tool and for the fuzz
# build, which links all but the entry and the command line into its target.
set(SNMPHELPER_CLI_DIR ${CMAKE_SOURCE_DIR}/tools/cli)
set(SNMPHELPER_CLI_ENTRY_SOURCES ${SNMPHELPER_CLI_DIR}/main.cpp ${SNMPHELPER_CLI_DIR}/command_line.cpp)
set(SNMPHELPER_CLI_SOURCES
  column_walk.cpp config_command.cpp decode_command.cpp discover_command.cpp dlc_command.cpp exit_codes.cpp
  fleet_reading.cpp form_command.cpp get_command.cpp getnext_command.cpp group_command.cpp groups_command.cpp identifier_check.cpp
  json_output.cpp keepalive_command.cpp library_load.cpp oid_arcs.cpp poll_command.cpp printer_command.cpp
  printer_mib_names.cpp printer_records.cpp printer_text.cpp protocol_names.cpp record_command.cpp
  registry_command.cpp registry_messages.cpp reply_format.cpp result_names.cpp set_command.cpp snmp_settings.cpp
  status_command.cpp status_view.cpp transaction_text.cpp trap_text.cpp traps_command.cpp utf8_text.cpp
  value_text.cpp wait_progress.cpp walk_command.cpp)
# System calls live in files named for their system.
if(WIN32)
  list(APPEND SNMPHELPER_CLI_SOURCES
    interface_names_win.cpp ipx_command_win.cpp ipx_hint_win.cpp platform_path_win.cpp printer_text_win.cpp
    registry_messages_win.cpp terminal_win.cpp)
else()
  list(APPEND SNMPHELPER_CLI_SOURCES
    interface_names_posix.cpp ipx_command_posix.cpp ipx_hint_posix.cpp platform_path_posix.cpp printer_text_posix.cpp
    registry_messages_posix.cpp terminal_posix.cpp)
endif()
list(TRANSFORM SNMPHELPER_CLI_SOURCES PREPEND ${SNMPHELPER_CLI_DIR}/)
# The exporter serves HTTP through cpp-httplib, which the Windows build does
# not have: there the tool has no exporter command.
set(SNMPHELPER_CLI_EXPORTER_SOURCES exporter_command.cpp exporter_dashboard.cpp exporter_metrics.cpp)
list(TRANSFORM SNMPHELPER_CLI_EXPORTER_SOURCES PREPEND ${SNMPHELPER_CLI_DIR}/)
