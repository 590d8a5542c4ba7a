// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/wait_progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/cli/status_view.h"
#include "tools/cli/terminal.h"

namespace snmphelper::cli {

WaitProgress::WaitProgress(const std::string &printer, int sendsPerProtocol, bool enabled)
    : printer_(printer), sendsPerProtocol_(sendsPerProtocol), shown_(enabled && IsTerminal(stderr)) {}

WaitProgress::~WaitProgress() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_one();
    }
    if (follower_.joinable()) follower_.join();
    if (visible_) std::fprintf(stderr, "\r\033[K");
}

void WaitProgress::Sent(std::uint32_t protocol) {
    if (!shown_) return;
    std::lock_guard lock(mutex_);
    if (protocol != protocol_) sends_ = 0;
    protocol_ = protocol;
    ++sends_;
    if (!started_) {
        // The clock starts with the first send; the thread shows the line
        // only when the transaction is still waiting after kProgressAfter.
        started_ = true;
        follower_ = std::thread([this] { Follow(); });
    }
    if (visible_) ShowLocked();
}

void WaitProgress::Follow() {
    std::unique_lock lock(mutex_);
    if (changed_.wait_for(lock, kProgressAfter, [this] { return done_; })) return;
    visible_ = true;
    ShowLocked();
}

void WaitProgress::ShowLocked() {
    // A reply that cannot be used starts the sends again: the count may pass
    // the expected number.
    const int of = std::max(sends_, sendsPerProtocol_);
    std::fprintf(stderr, "\r\033[Kwaiting for %s over %s: send %d of %d", printer_.c_str(),
                 ProtocolLabel(protocol_).c_str(), sends_, of);
    std::fflush(stderr);
}

}  // namespace snmphelper::cli
