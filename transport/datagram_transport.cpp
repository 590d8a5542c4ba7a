// SPDX-License-Identifier: Apache-2.0
#include "transport/datagram_transport.h"

namespace snmphelper {

DatagramTransport::DatagramTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                                     std::uint32_t options)
    : attempts_(attempts), timeoutSeconds_(timeoutSeconds), options_(options) {}

DatagramTransport::~DatagramTransport() = default;

std::uint8_t HexDigitValue(char character) {
    if (character >= '0' && character <= '9') return static_cast<std::uint8_t>(character - '0');
    if (character >= 'A' && character <= 'F') return static_cast<std::uint8_t>(character - 'A' + 10);
    if (character >= 'a' && character <= 'f') return static_cast<std::uint8_t>(character - 'a' + 10);
    return 255;
}

void HexToBytes(std::uint8_t *output, const char *text, std::uint32_t count) {
    bool ended = text == nullptr;
    // The value of the next character, or 255 once the text has ended.
    auto nextValue = [&]() -> unsigned {
        if (ended || *text == '\0') {
            ended = true;
            return 255;
        }
        return HexDigitValue(*text++);
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned high = nextValue();
        const unsigned low = nextValue();
        output[i] = static_cast<std::uint8_t>((16 * high + low) % 256);
    }
}

}  // namespace snmphelper
