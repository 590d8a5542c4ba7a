// SPDX-License-Identifier: Apache-2.0
// Any Ethernet frame through the IPX layer's frame parser and the printer
// simulator's: no read outside the frame, a datagram either accepts lies
// wholly inside the frame and reads back the same when written again, and
// a frame both accept carries the same datagram for both.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "wsock32/ipx_frames.h"
#include "tools/printer-sim/ipx_frame.h"

namespace {

bool Inside(std::span<const std::uint8_t> part, const std::vector<std::uint8_t> &frame) {
    return part.empty() || (part.data() >= frame.data() && part.data() + part.size() <= frame.data() + frame.size());
}

// The simulator's side; the datagram it read, or an empty span.
std::span<const std::uint8_t> SimulatorReads(const std::vector<std::uint8_t> &frame, bool &accepted) {
    printersim::IpxDatagram datagram;
    accepted = printersim::ParseIpxFrame(frame, datagram);
    if (!accepted) return {};
    if (!Inside(datagram.data, frame)) std::abort();
    printersim::IpxOutgoing outgoing;
    outgoing.framing = datagram.framing;
    outgoing.linkSource = datagram.linkSource;
    outgoing.packetType = datagram.packetType;
    outgoing.destination = datagram.destination;
    outgoing.source = datagram.source;
    std::vector<std::uint8_t> rewritten;
    if (printersim::BuildIpxFrame(outgoing, datagram.data, rewritten)) {
        printersim::IpxDatagram again;
        if (!printersim::ParseIpxFrame(rewritten, again) || again.framing != datagram.framing ||
            !std::equal(again.data.begin(), again.data.end(), datagram.data.begin(), datagram.data.end())) {
            std::abort();
        }
    }
    return datagram.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An exact-size copy, so that a read past the frame is a sanitizer report.
    std::vector<std::uint8_t> frame(data, data + size);
    bool simulatorAccepted = false;
    const std::span<const std::uint8_t> simulatorData = SimulatorReads(frame, simulatorAccepted);
    snmphelper::ipx::ParsedDatagram parsed;
    if (!snmphelper::ipx::ParseFrame(frame.data(), frame.size(), parsed)) return 0;
    if (simulatorAccepted && (simulatorData.data() != parsed.data || simulatorData.size() != parsed.dataLength)) {
        std::abort();
    }
    if (parsed.data < frame.data() || parsed.data + parsed.dataLength > frame.data() + frame.size()) {
        std::abort();
    }
    snmphelper::ipx::OutgoingDatagram outgoing;
    outgoing.frame = parsed.frame;
    outgoing.sourceMac = parsed.source.node;
    outgoing.packetType = parsed.packetType;
    outgoing.destination = parsed.destination;
    outgoing.source = parsed.source;
    outgoing.data = parsed.data;
    outgoing.dataLength = parsed.dataLength;
    std::vector<std::uint8_t> rewritten(2048);
    const std::size_t length = snmphelper::ipx::WriteFrame(outgoing, rewritten.data(), rewritten.size());
    if (length == 0) return 0;  // larger than a datagram may be
    snmphelper::ipx::ParsedDatagram again;
    if (!snmphelper::ipx::ParseFrame(rewritten.data(), length, again) || again.frame != parsed.frame ||
        again.dataLength != parsed.dataLength ||
        std::memcmp(again.data, parsed.data, parsed.dataLength) != 0) {
        std::abort();
    }
    return 0;
}
