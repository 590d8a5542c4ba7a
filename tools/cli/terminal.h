/* SPDX-License-Identifier: Apache-2.0 */
// Whether a standard stream is a terminal, for output meant only for a
// person watching (a progress line). One file per system implements it.
#pragma once

#include <cstdio>

namespace snmphelper::cli {

bool IsTerminal(std::FILE *stream);

}  // namespace snmphelper::cli
