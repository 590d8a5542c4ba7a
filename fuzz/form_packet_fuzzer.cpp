// SPDX-License-Identifier: Apache-2.0
// Arbitrary identifier and value texts through request forming, in buffers
// exactly as large as their sizes say: no read or write past either, the
// packet within its block, nothing left allocated on any failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "snmphelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Octet 0: request type and count; then the identifier text up to the
    // first zero octet, then the value text.
    if (size < 1 || size > 8192) return 0;
    const auto requestType = static_cast<std::int32_t>(data[0] % 4);
    const std::uint32_t varCount = data[0] >> 2;
    const std::uint8_t *rest = data + 1;
    const std::size_t restSize = size - 1;
    const auto *zero = static_cast<const std::uint8_t *>(std::memchr(rest, 0, restSize));
    const std::size_t oidLength = zero != nullptr ? static_cast<std::size_t>(zero - rest) : restSize;
    const std::size_t valueLength = zero != nullptr ? restSize - oidLength - 1 : 0;

    const auto oidListSize = static_cast<std::uint32_t>(oidLength + 1);
    std::unique_ptr<char[]> oids(new char[oidListSize]);
    std::memcpy(oids.get(), rest, oidLength);
    oids[oidLength] = '\0';
    // The value list is taken by its size alone, zero octets included.
    const auto valueListSize = static_cast<std::uint32_t>(valueLength);
    std::unique_ptr<char[]> values(valueLength > 0 ? new char[valueLength] : nullptr);
    if (valueLength > 0) std::memcpy(values.get(), zero + 1, valueLength);

    std::uint32_t packetLength = 0;
    std::uint8_t *packet = HelperFormSNMPPacket(requestType, oids.get(), oidListSize, values.get(), &valueListSize,
                                                varCount, &packetLength);
    if (packet == nullptr) {
        if (packetLength != 0) std::abort();
        return 0;
    }
    std::uint64_t block = (static_cast<std::uint64_t>(oidListSize) + valueListSize) * 2 + 50;
    if (block > 65535) block = 65535;
    if (packetLength == 0 || packetLength > block || packet[0] != 0x30) std::abort();
    HelperFreeBlock(packet);
    return 0;
}
