// SPDX-License-Identifier: Apache-2.0
// Arbitrary octets, mutated as BER items as often as bytes, through the
// GetResponse decoder: no read past the data, no write past a block, no leak;
// what is accepted is a well-formed record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/request_decoder.h"
#include "fuzz/ber_mutator.h"
#include "snmphelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    SnmpReqParam *record = HelperSnmpDecodePdu(data, static_cast<std::uint32_t>(size));
    // Names kept as contents: the same messages taken, each name its
    // contents with a zero after them.
    SnmpReqParam *contents =
        snmphelper::DecodeResponseRecord(data, static_cast<std::uint32_t>(size), snmphelper::NameForm::Encoded);
    if ((record == nullptr) != (contents == nullptr)) std::abort();
    if (contents != nullptr) {
        for (std::uint16_t i = 0; i < contents->varBindCount; ++i) {
            if (contents->varBinds[i].oid[contents->varBinds[i].oidLength] != '\0') std::abort();
        }
        HelperFreeReqParam(contents);
    }
    if (record == nullptr) return 0;
    if (record->varBindCount > 40 || record->errorStatus > 5 || record->communityLength > 255 ||
        record->community[record->communityLength] != '\0') {
        std::abort();
    }
    for (std::uint16_t i = 0; i < record->varBindCount; ++i) {
        const SnmpVarBind &entry = record->varBinds[i];
        if (std::strlen(entry.oid) != entry.oidLength) std::abort();
        // Every value block is one octet longer than its value and zero there.
        if (entry.value[entry.valueLength] != 0) std::abort();
    }
    HelperFreeReqParam(record);
    return 0;
}
