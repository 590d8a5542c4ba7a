# SPDX-License-Identifier: Apache-2.0
# Cross-build for 32-bit Windows with MinGW-w64: the product. Tests run
# under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
