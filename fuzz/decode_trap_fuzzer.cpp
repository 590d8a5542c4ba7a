// SPDX-License-Identifier: Apache-2.0
// Arbitrary octets, mutated as BER items as often as bytes, through the Trap
// decoder: no read past the data, no write past a block, no leak; what is
// accepted is a well-formed record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/trap_decoder.h"
#include "fuzz/ber_mutator.h"
#include "snmphelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The decoder uses only the low 16 bits of the length.
    if (size > 0xFFFF) return 0;
    SnmpTrapParam *trap = HelperSnmpDecodeTrapPdu(data, static_cast<std::uint32_t>(size));
    if (trap == nullptr) return 0;
    if (trap->varBindCount > 40 || trap->communityLength > 256 || trap->agentAddressLength != 4 ||
        std::strlen(trap->enterprise) != trap->enterpriseLength) {
        std::abort();
    }
    for (std::uint16_t i = 0; i < trap->varBindCount; ++i) {
        const SnmpVarBind &entry = trap->varBinds[i];
        if (std::strlen(entry.oid) != entry.oidLength || entry.valueLength > 256 ||
            entry.value[entry.valueLength] != 0) {
            std::abort();
        }
    }
    snmphelper::FreeTrapParam(trap);
    return 0;
}
