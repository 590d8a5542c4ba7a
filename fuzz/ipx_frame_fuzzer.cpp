// Any Ethernet frame through the IPX layer's frame parser: no read outside
// the frame, and a datagram it accepts lies wholly inside the frame and
// reads back the same when written again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/ipx_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An exact-size copy, so that a read past the frame is a sanitizer report.
    std::vector<std::uint8_t> frame(data, data + size);
    snmphelper::ipx::ParsedDatagram parsed;
    if (!snmphelper::ipx::ParseFrame(frame.data(), frame.size(), parsed)) return 0;
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
