/* SPDX-License-Identifier: Apache-2.0 */
// Files and folders of a test run: the build tree, and fresh temporary
// folders.
#pragma once

#include <string>

namespace snmphelper::test {

// A file below the build tree (SNMPHELPER_BINARY_DIR, else the folder above
// the running test program's), e.g. "tools/snmphelper-printer-sim".
std::string BuildTreePath(const std::string &relative);

// A fresh folder below the temporary directory.
std::string MakeTempFolder(const char *prefix);

// Sets (or, with null `value`, removes) an environment variable of this
// process; programs it starts inherit it.
void SetEnvironment(const char *name, const char *value);

}  // namespace snmphelper::test
