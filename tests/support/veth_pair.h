/* SPDX-License-Identifier: Apache-2.0 */
// A pair of connected virtual Ethernet interfaces in the test's private
// network namespace: a frame sent on one end arrives on the other. Needs
// CAP_NET_ADMIN there (root, or the owner of a user namespace).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace snmphelper::test {

using MacAddress = std::array<std::uint8_t, 6>;

class VethPair {
public:
    // Creates `first` and `second`, both up, with the given hardware
    // addresses. Check Ready(); Error() says what failed.
    VethPair(std::string first, std::string second, const MacAddress &firstMac,
             const MacAddress &secondMac);
    ~VethPair();  // deletes both ends
    VethPair(const VethPair &) = delete;
    VethPair &operator=(const VethPair &) = delete;

    bool Ready() const { return ready_; }
    const std::string &Error() const { return error_; }
    const std::string &First() const { return first_; }
    const std::string &Second() const { return second_; }

private:
    std::string first_;
    std::string second_;
    bool ready_ = false;
    std::string error_;
};

// "02:00:00:00:00:01" form.
std::string MacText(const MacAddress &mac);

}  // namespace snmphelper::test
