# SPDX-License-Identifier: Apache-2.0
# Cross-build for 64-bit Windows with MinGW-w64. The product is the 32-bit
# DLL; this build runs the same Windows tests under a 64-bit Wine where the
# machine cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
