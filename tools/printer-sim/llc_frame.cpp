// SPDX-License-Identifier: Apache-2.0
// LLC type 1 framing of the simulator's DLC side.
#include "tools/printer-sim/llc_frame.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace printersim {

namespace {

LlcMac ReadMac(std::span<const std::uint8_t> octets) {
    LlcMac mac{};
    std::copy_n(octets.begin(), mac.size(), mac.begin());
    return mac;
}

}  // namespace

bool ParseLlcFrame(std::span<const std::uint8_t> frame, LlcFrame &parsed) {
    if (frame.size() < kLlcEthernetHeaderSize) return false;
    const std::size_t length = static_cast<std::size_t>(frame[12] << 8 | frame[13]);
    if (length > kLlcMaxLength) return false;  // an ethertype
    const std::span<const std::uint8_t> payload = frame.subspan(kLlcEthernetHeaderSize);
    if (length < kLlcHeaderSize || length > payload.size()) return false;
    LlcFrame read;
    read.destination = ReadMac(frame.first(6));
    read.source = ReadMac(frame.subspan(6, 6));
    read.dsap = payload[0];
    read.ssap = static_cast<std::uint8_t>(payload[1] & ~kLlcResponseBit);
    read.control = payload[2];
    read.data = payload.subspan(kLlcHeaderSize, length - kLlcHeaderSize);
    parsed = read;
    return true;
}

bool BuildLlcUiFrame(const LlcMac &destination, const LlcMac &source, std::uint8_t dsap, std::uint8_t ssap,
                     std::span<const std::uint8_t> data, std::vector<std::uint8_t> &frame) {
    if (data.size() > kLlcMaxData) return false;
    const std::size_t length = kLlcHeaderSize + data.size();
    std::vector<std::uint8_t> out;
    out.reserve(std::max(kLlcEthernetHeaderSize + length, kLlcMinFrame));
    out.insert(out.end(), destination.begin(), destination.end());
    out.insert(out.end(), source.begin(), source.end());
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.push_back(dsap);
    out.push_back(ssap);
    out.push_back(kLlcUiControl);
    out.insert(out.end(), data.begin(), data.end());
    if (out.size() < kLlcMinFrame) out.resize(kLlcMinFrame, 0);  // as an adapter pads
    frame = std::move(out);
    return true;
}

std::string FormatLlcAddress(const LlcMac &address, std::uint8_t sap) {
    char text[24];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x:%02x", address[0], address[1], address[2],
                  address[3], address[4], address[5], static_cast<unsigned>(sap));
    return text;
}

}  // namespace printersim
