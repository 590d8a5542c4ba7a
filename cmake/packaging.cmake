# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` puts where (GNU layout), the pkg-config file and the
# CMake package with its imported target. The Debian packages are made from
# this installation by debian/ (make deb).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS snmphelper EXPORT snmphelperTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/snmphelper.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The library looks for its platform libraries in snmphelper/ beside itself.
if(TARGET wsock32)
  install(TARGETS wsock32 dlcapi LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/snmphelper)
endif()
install(TARGETS snmphelper-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# `snmphelper exporter` runs it from there (tools/cli/platform_path.h).
if(TARGET snmphelper-exporter)
  install(TARGETS snmphelper-exporter RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/snmphelper)
endif()
if(TARGET snmphelper-printer-sim)
  install(TARGETS snmphelper-printer-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/man/snmphelper.1 ${CMAKE_SOURCE_DIR}/man/snmphelper-printer-sim.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# One page per exported function beside the overview; a page that serves
# several functions is reached under the others' names through a .so line.
set(SNMPHELPER_LIBRARY_PAGES
  snmphelper.3 HelperDecodeValue.3 HelperFormSNMPPacket.3 HelperFreeBlock.3 HelperFreeReqParam.3
  HelperGetSNMPObjects.3 HelperPrinterAdd.3 HelperPrinterList.3 HelperPrinterRead.3 HelperPrinterRemove.3
  HelperPrinterUpdate.3 HelperResultText.3 HelperSNMPDecodePacket.3 HelperSNMPDiscover.3
  HelperSNMPRegisterTrapDestination.3
  HelperSNMPEngineCreate.3 HelperSNMPEngineDestroy.3 HelperSNMPEngineRun.3 HelperSNMPEngineSubmit.3
  HelperSNMPTransact.3 HelperSNMPTransactAscii.3 HelperSNMPTransactEx.3 HelperSnmpDecodePdu.3
  HelperSnmpDecodeTrapPdu.3 HelperSnmpEncodePdu.3 HelperTrapKeepAlive.3)
list(TRANSFORM SNMPHELPER_LIBRARY_PAGES PREPEND ${CMAKE_SOURCE_DIR}/man/)
install(FILES ${SNMPHELPER_LIBRARY_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)

# The default configuration store, /etc/snmphelper/registry.reg: a folder
# (0755) and a store without keys (0644), which the library makes readable by
# its owner alone once it holds a community. A /usr installation puts it in
# /etc, any other prefix in its own etc/. (The Debian package ships only the
# folder: the store is state the tool writes, made on first use.)
set(SNMPHELPER_EMPTY_STORE ${CMAKE_BINARY_DIR}/registry.reg)
file(WRITE ${SNMPHELPER_EMPTY_STORE} "Windows Registry Editor Version 5.00\n\n")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(SNMPHELPER_STORE_DIR /etc/snmphelper)
else()
  set(SNMPHELPER_STORE_DIR ${CMAKE_INSTALL_SYSCONFDIR}/snmphelper)
endif()
install(FILES ${SNMPHELPER_EMPTY_STORE} DESTINATION ${SNMPHELPER_STORE_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${CMAKE_SOURCE_DIR}/tools/cli/snmphelper.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME snmphelper)

set(SNMPHELPER_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH SNMPHELPER_PC_TO_PREFIX /prefix/${SNMPHELPER_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" SNMPHELPER_PC_TO_PREFIX "${SNMPHELPER_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/snmphelper.pc.in ${CMAKE_BINARY_DIR}/snmphelper.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/snmphelper.pc DESTINATION ${SNMPHELPER_PKGCONFIG_DIR})

set(SNMPHELPER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/snmphelper)
install(EXPORT snmphelperTargets NAMESPACE snmphelper:: DESTINATION ${SNMPHELPER_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/snmphelperConfig.cmake.in
  ${CMAKE_BINARY_DIR}/snmphelperConfig.cmake INSTALL_DESTINATION ${SNMPHELPER_CMAKE_DIR})
# The soname carries the major version: another major is another interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/snmphelperConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/snmphelperConfig.cmake ${CMAKE_BINARY_DIR}/snmphelperConfigVersion.cmake
  DESTINATION ${SNMPHELPER_CMAKE_DIR})
