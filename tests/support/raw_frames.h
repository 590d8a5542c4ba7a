/* SPDX-License-Identifier: Apache-2.0 */
// Raw Ethernet frames on one interface through a packet socket, independent
// of the library: the other end of the IPX and LLC tests. Needs CAP_NET_RAW.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmphelper::test {

class RawFrames {
public:
    // Opens a packet socket bound to `interfaceName` that sees every frame
    // arriving there (not those it sends). Check Open(); Error() says why not.
    explicit RawFrames(const std::string &interfaceName);
    ~RawFrames();
    RawFrames(const RawFrames &) = delete;
    RawFrames &operator=(const RawFrames &) = delete;

    bool Open() const { return descriptor_ >= 0; }
    const std::string &Error() const { return error_; }

    // Sends `frame` as it stands: destination, source, type or length, payload.
    bool Send(const std::vector<std::uint8_t> &frame);
    // The next frame that arrived, waiting up to `timeoutMilliseconds`.
    std::optional<std::vector<std::uint8_t>> Receive(int timeoutMilliseconds = 5000);
    // The next frame for which `accept` is true; others are passed over.
    template <typename Predicate>
    std::optional<std::vector<std::uint8_t>> ReceiveMatching(Predicate accept,
                                                             int timeoutMilliseconds = 5000);

private:
    int descriptor_ = -1;
    std::string error_;
};

template <typename Predicate>
std::optional<std::vector<std::uint8_t>> RawFrames::ReceiveMatching(Predicate accept,
                                                                    int timeoutMilliseconds) {
    for (int waited = 0; waited < timeoutMilliseconds; waited += 50) {
        std::optional<std::vector<std::uint8_t>> frame = Receive(50);
        if (frame && accept(*frame)) return frame;
    }
    return std::nullopt;
}

}  // namespace snmphelper::test
