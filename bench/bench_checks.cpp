// SPDX-License-Identifier: Apache-2.0
#include "bench/bench_checks.h"

#include <cstdio>
#include <vector>

#include "bench/messages.h"
#include "bench/netsnmp_side.h"
#include "snmphelper.h"

namespace snmphelper::bench {

bool CheckEncodingsAgree() {
    netsnmp::Initialise();
    bool agree = true;
    for (int count : {1, 7, 31}) {
        std::uint8_t ours[4096];
        std::uint16_t oursLength = sizeof ours;
        if (HelperSnmpEncodePdu(&RequestOf(count).record, ours, &oursLength) != SNMP_ENCODE_OK) {
            std::printf("encode of %d variables failed\n", count);
            return false;
        }
        netsnmp::Encoder encoder(count);
        const std::uint8_t *theirs = nullptr;
        std::size_t theirsLength = 0;
        if (!encoder.Encode(theirs, theirsLength)) {
            std::printf("net-snmp's snmp_build of %d variables failed\n", count);
            return false;
        }
        int valueIdentifiers = 0;
        bool same = oursLength == theirsLength;
        for (std::size_t i = 0; same && i < oursLength; ++i) {
            if (ours[i] == theirs[i]) continue;
            // 04 00 against 05 00 at the end of a binding.
            const bool valueItem = ours[i] == 0x04 && theirs[i] == 0x05 && i + 1 < oursLength && ours[i + 1] == 0 &&
                                   theirs[i + 1] == 0;
            if (valueItem) {
                ++valueIdentifiers;
            } else {
                same = false;
            }
        }
        same = same && valueIdentifiers == count;
        std::printf("encodings of a GetRequest of %2d variables: %zu octets each side, %s\n", count,
                    static_cast<std::size_t>(oursLength),
                    same ? "identical but for the value identifier of each binding (04 ours, 05 net-snmp)"
                         : "DIFFER");
        if (!same) {
            std::printf("  ours:    ");
            for (std::size_t i = 0; i < oursLength; ++i) std::printf("%02X ", ours[i]);
            std::printf("\n  net-snmp:");
            for (std::size_t i = 0; i < theirsLength; ++i) std::printf(" %02X", theirs[i]);
            std::printf("\n");
        }
        agree = agree && same;
    }
    return agree;
}

}  // namespace snmphelper::bench
