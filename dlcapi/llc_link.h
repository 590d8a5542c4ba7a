/* SPDX-License-Identifier: Apache-2.0 */
// The adapter of dlcapi.so: one packet socket on an Ethernet interface that
// receives IEEE 802.2 length frames and sends the UI frames the stations
// build. Linux's AF_LLC sockets exist only in the initial network namespace
// and are missing from many kernels, so LLC is done here over AF_PACKET.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace snmphelper::dlcapi {

using Mac = std::array<std::uint8_t, 6>;

inline constexpr std::size_t kEthernetHeaderSize = 14;
inline constexpr std::size_t kLlcHeaderSize = 3;
inline constexpr std::size_t kMaxLengthField = 1500;  // IEEE 802.3 largest length
inline constexpr std::size_t kMaxUiData = kMaxLengthField - kLlcHeaderSize;
inline constexpr std::size_t kMinFrame = 60;  // without the frame check sequence
inline constexpr std::uint8_t kUiControl = 0x03;

// Why an adapter could not be opened.
enum class OpenFailure { kNone, kNoInterface, kNotPermitted, kSystem };

// One received UI frame; `data` points into the frame it was read from.
struct UiFrame {
    Mac destination{};
    Mac source{};
    std::uint8_t dsap = 0;
    std::uint8_t ssap = 0;  // as received, response bit included
    std::span<const std::uint8_t> data;  // as long as the 802.3 length says
};

// Reads an Ethernet frame from its destination address on: true for an
// 802.3 length frame carrying an LLC UI frame whose length fits what arrived
// (padding past the length ignored); false for anything else.
bool ParseUiFrame(std::span<const std::uint8_t> frame, UiFrame &parsed);

// An 802.3 UI frame to `destination` from `source`, padded with zeros to 60
// octets. False when `data` is longer than kMaxUiData.
bool BuildUiFrame(const Mac &destination, const Mac &source, std::uint8_t dsap, std::uint8_t ssap,
                  std::span<const std::uint8_t> data, std::vector<std::uint8_t> &frame);

class LlcLink {
public:
    LlcLink() = default;
    ~LlcLink();
    LlcLink(const LlcLink &) = delete;
    LlcLink &operator=(const LlcLink &) = delete;

    // Opens the socket on `interfaceName`, or when it is empty on the first
    // interface that is up, not loopback and has a 6-byte Ethernet address.
    OpenFailure Open(const std::string &interfaceName);
    void Close();
    bool IsOpen() const { return descriptor_ >= 0; }

    int Descriptor() const { return descriptor_; }
    const Mac &Address() const { return address_; }

    // One waiting frame that arrived from the wire (not one this host sent);
    // false when none is waiting.
    bool Receive(std::vector<std::uint8_t> &frame);
    bool Send(std::span<const std::uint8_t> frame);

private:
    int descriptor_ = -1;
    Mac address_{};
};

}  // namespace snmphelper::dlcapi
