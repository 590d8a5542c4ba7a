// Any Ethernet frame through the DLC interface's UI frame parser: no read
// outside the frame, and the data of a frame it accepts lies inside it and
// comes back the same when the frame is built again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/dlcapi/llc_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace snmphelper::dlcapi;
    const std::vector<std::uint8_t> frame(data, data + size);
    UiFrame parsed;
    if (!ParseUiFrame(frame, parsed)) return 0;
    if (parsed.data.data() < frame.data() ||
        parsed.data.data() + parsed.data.size() > frame.data() + frame.size()) {
        std::abort();
    }
    std::vector<std::uint8_t> rebuilt;
    if (!BuildUiFrame(parsed.destination, parsed.source, parsed.dsap, parsed.ssap, parsed.data, rebuilt)) {
        return 0;
    }
    UiFrame again;
    if (!ParseUiFrame(rebuilt, again) || again.dsap != parsed.dsap || again.ssap != parsed.ssap ||
        again.data.size() != parsed.data.size() ||
        std::memcmp(again.data.data(), parsed.data.data(), parsed.data.size()) != 0) {
        std::abort();
    }
    return 0;
}
