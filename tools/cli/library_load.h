/* SPDX-License-Identifier: Apache-2.0 */
// The command-line tool links the library statically, where no loader runs
// the library's load steps: commands that need them call this first.
#pragma once

namespace snmphelper::cli {

// Runs the library's process-attach steps once per process.
void EnsureLibraryLoaded();

}  // namespace snmphelper::cli
