#include "dlc/dlc_access.h"

namespace snmphelper {

// No DLC interface is bound on this platform yet: DLC stays unavailable and
// the other transports are unaffected.
int InitDlcAccess() { return 1; }

}  // namespace snmphelper
