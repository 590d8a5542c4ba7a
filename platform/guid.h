/* SPDX-License-Identifier: Apache-2.0 */
// GUID creation (CoCreateGuid's role): 16 bytes unique to each call whose
// last six bytes, the node field of RFC 4122, are the same for every call
// and every process on one host. The library keys a printer's row for this
// host by those six bytes, so a later call finds the row an earlier one wrote.
#pragma once

#include <cstdint>

namespace snmphelper::platform {

// A GUID as Windows stores it: data1 to data3 in the host's byte order,
// data4 as bytes. The node is data4[2] to data4[7].
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

inline constexpr unsigned kGuidNodeOffset = 2;  // in data4
inline constexpr unsigned kGuidNodeLength = 6;

// Fills `guid` with a fresh GUID. True on success; false (and `guid`
// unchanged) when the platform can give none.
bool CreateGuid(Guid *guid);

}  // namespace snmphelper::platform
