/* SPDX-License-Identifier: Apache-2.0 */
// IEEE 802.2 LLC type 1 frames as the simulator reads and writes them: an
// 802.3 frame (destination, source, length) whose payload starts with the
// LLC header DSAP, SSAP, control. SNMP travels in UI frames to SAP 0x0A.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printersim {

using LlcMac = std::array<std::uint8_t, 6>;

constexpr std::size_t kLlcEthernetHeaderSize = 14;
constexpr std::size_t kLlcHeaderSize = 3;
constexpr std::size_t kLlcMaxLength = 1500;  // largest 802.3 length field
constexpr std::size_t kLlcMaxData = kLlcMaxLength - kLlcHeaderSize;
constexpr std::size_t kLlcMinFrame = 60;  // without the frame check sequence
constexpr std::uint8_t kLlcSnmpSap = 0x0A;
constexpr std::uint8_t kLlcUiControl = 0x03;
// The SSAP's low bit tells commands from responses (IEEE 802.2 5.2), not the SAP.
constexpr std::uint8_t kLlcResponseBit = 0x01;

// One UI frame as received; `data` points into the frame it was read from.
struct LlcFrame {
    LlcMac destination{};
    LlcMac source{};
    std::uint8_t dsap = 0;
    std::uint8_t ssap = 0;  // the response bit cleared
    std::uint8_t control = 0;
    std::span<const std::uint8_t> data;  // after the LLC header, as long as the 802.3 length says
};

// Reads one Ethernet frame from its destination address on. False when it is
// no 802.3 length frame (an ethertype), or is malformed: cut short, a length
// beyond what arrived or below the LLC header's. Octets past the length (an
// adapter's padding) are ignored. Any DSAP and control are accepted: the
// caller decides what is for it.
bool ParseLlcFrame(std::span<const std::uint8_t> frame, LlcFrame &parsed);

// Writes a UI frame with `data` into `frame`, padded with zeros to 60 octets.
// False (and `frame` untouched) when `data` exceeds kLlcMaxData.
bool BuildLlcUiFrame(const LlcMac &destination, const LlcMac &source, std::uint8_t dsap, std::uint8_t ssap,
                     std::span<const std::uint8_t> data, std::vector<std::uint8_t> &frame);

// "XXXXXXXXXXXX:SS", the station address and SAP in hex.
std::string FormatLlcAddress(const LlcMac &address, std::uint8_t sap);

}  // namespace printersim
