/* SPDX-License-Identifier: Apache-2.0 */
// The line a person at a terminal sees while the tool waits for a printer:
// "waiting for lab over UDP/IP: send 2 of 3", shown once a transaction has
// waited longer than two seconds and kept up to date at every send, erased
// when the transaction ends. Nothing is shown when standard error is not a
// terminal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace snmphelper::cli {

class WaitProgress {
public:
    // `sendsPerProtocol`: the sends a silent printer gets on one protocol.
    // `enabled` false (or standard error not a terminal) shows nothing.
    WaitProgress(const std::string &printer, int sendsPerProtocol, bool enabled);
    ~WaitProgress();
    WaitProgress(const WaitProgress &) = delete;
    WaitProgress &operator=(const WaitProgress &) = delete;

    // A datagram of the transaction went out over `protocol` (1, 2, 4).
    void Sent(std::uint32_t protocol);

private:
    void Follow();
    void ShowLocked();

    const std::string printer_;
    const int sendsPerProtocol_;
    const bool shown_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread follower_;
    bool started_ = false;
    bool visible_ = false;
    bool done_ = false;
    std::uint32_t protocol_ = 0;
    int sends_ = 0;  // on protocol_
};

// How long a transaction waits before WaitProgress shows its line.
inline constexpr std::chrono::seconds kProgressAfter{2};

}  // namespace snmphelper::cli
