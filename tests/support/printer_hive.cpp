// SPDX-License-Identifier: Apache-2.0
// The .reg text of printer keys, the same for every system's store.
#include "tests/support/temp_registry.h"

namespace snmphelper::test {

std::string PrinterKey(const std::string &printer, const std::string &valueLines) {
    return "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\AdapterOnly\\" + printer + "]\n" + valueLines + "\n";
}

std::string PrinterHive(const std::string &printer, const std::string &valueLines) {
    return "Windows Registry Editor Version 5.00\n\n" + PrinterKey(printer, valueLines);
}

}  // namespace snmphelper::test
