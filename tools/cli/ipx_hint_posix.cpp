// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/ipx_hint.h"

#include <cstdio>

#include "wsock32/ipx_socket.h"
#include "transact/printer_config.h"

namespace snmphelper::cli {

void HintIpxCapability(const std::string &printer) {
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    if (ReadPrinterAddressRecord(printer.c_str(), &record) != 0) return;
    const bool usesIpx = record.pProtocol == kProtocolIpx || (record.cProtocols & kProtocolIpx) != 0;
    if (usesIpx && !ipx::MayOpenPacketSockets()) std::fprintf(stderr, "%s\n", kIpxCapabilityHint);
}

}  // namespace snmphelper::cli
