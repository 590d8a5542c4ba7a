// SPDX-License-Identifier: Apache-2.0
#include "tests/support/ber_build.h"

namespace snmphelper::test {

Bytes BerLength(std::size_t length) {
    if (length < 0x80) return {static_cast<std::uint8_t>(length)};
    Bytes octets;
    for (std::size_t rest = length; rest != 0; rest >>= 8) {
        octets.insert(octets.begin(), static_cast<std::uint8_t>(rest & 0xFF));
    }
    octets.insert(octets.begin(), static_cast<std::uint8_t>(0x80 + octets.size()));
    return octets;
}

Bytes Tlv(std::uint8_t identifier, const Bytes &contents) {
    Bytes item{identifier};
    const Bytes length = BerLength(contents.size());
    item.insert(item.end(), length.begin(), length.end());
    item.insert(item.end(), contents.begin(), contents.end());
    return item;
}

Bytes Join(const std::vector<Bytes> &parts) {
    Bytes joined;
    for (const Bytes &part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

Bytes VarBind(const Bytes &nameContents, const Bytes &valueItem) {
    return Tlv(0x30, Join({Tlv(0x06, nameContents), valueItem}));
}

Bytes Message(const Bytes &community, const Bytes &pdu) {
    return Tlv(0x30, Join({{0x02, 0x01, 0x00}, Tlv(0x04, community), pdu}));
}

Bytes ResponsePdu(const Bytes &requestIdItem, const Bytes &errorStatusItem,
                  const Bytes &errorIndexItem, const std::vector<Bytes> &varBinds) {
    return Tlv(0xA2,
               Join({requestIdItem, errorStatusItem, errorIndexItem, Tlv(0x30, Join(varBinds))}));
}

}  // namespace snmphelper::test
