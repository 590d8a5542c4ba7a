// Access to the platform's DLC interface, prepared once per process.
#pragma once

namespace snmphelper {

// Prepares DLC access at library load: 0 when DLC is usable, otherwise a DLC
// result code (1: the DLC interface is unavailable). The library loads
// whatever it answers.
int InitDlcAccess();

}  // namespace snmphelper
