// SPDX-License-Identifier: Apache-2.0
// Arbitrary octets through the reply text extraction, into buffers of every
// size from none to ample, each exactly as large as its room says: no write
// past a buffer, sizes reported as documented, texts terminated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "snmphelper.h"

namespace {

// Rooms chosen by the first two input octets: 0, tiny, or up to 8 KiB.
std::uint32_t Room(std::uint8_t selector) {
    return selector < 16 ? selector : static_cast<std::uint32_t>(selector) * 32;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint32_t oidRoom = Room(data[0]);
    const std::uint32_t valueRoom = Room(data[1]);
    // Exactly the room, on the heap, so that one byte more is a sanitizer report.
    std::unique_ptr<char[]> oids(oidRoom > 0 ? new char[oidRoom] : nullptr);
    std::unique_ptr<char[]> values(valueRoom > 0 ? new char[valueRoom] : nullptr);
    if (oidRoom > 0) std::memset(oids.get(), 'x', oidRoom);
    std::uint32_t oidSize = oidRoom;
    std::uint32_t valueSize = valueRoom;
    const std::int32_t result = HelperSNMPDecodePacket(data + 2, static_cast<std::uint32_t>(size - 2), oids.get(),
                                                       &oidSize, values.get(), &valueSize);
    if (result == SNMP_RESULT_OK) {
        // Complete: both texts fit and are terminated within their rooms.
        if (valueSize >= valueRoom && valueRoom > 0) std::abort();
        if (valueRoom > 0 && values[valueSize] != '\0') std::abort();
        if (oidSize > 1 && (oidSize - 2 >= oidRoom || oids[oidSize - 2] != '\0')) std::abort();
    }
    return 0;
}
