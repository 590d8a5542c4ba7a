// SPDX-License-Identifier: Apache-2.0
// The frames dlcapi.so's adapter receives, the thread that receives them
// and sends the queued transmits, and the one adapter of the process.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "dlcapi/adapter.h"
#include "dlcapi/dlc_adapter.h"
#include "platform/event.h"

namespace snmphelper::dlcapi {
namespace detail {

// The station a received frame is for; see dlc_adapter.h.
Station *Adapter::Recipient(const UiFrame &frame, bool &asked) {
    asked = false;
    std::vector<Station *> candidates;
    for (auto &entry : stations_) {
        if (entry.second.sap == frame.dsap && entry.second.receive != nullptr) candidates.push_back(&entry.second);
    }
    if (candidates.empty()) return nullptr;
    const std::uint8_t sourceSap = static_cast<std::uint8_t>(frame.ssap & ~kSsapResponseBit);
    Station *answered = nullptr;
    Station *broadcast = nullptr;
    for (Station *station : candidates) {
        if (!station->awaiting || station->awaitedSap != sourceSap) continue;
        if (station->awaitedFrom == frame.source &&
            (answered == nullptr || station->transmitSequence < answered->transmitSequence)) {
            answered = station;
        }
        if (station->awaitedFrom == kBroadcast &&
            (broadcast == nullptr || station->transmitSequence < broadcast->transmitSequence)) {
            broadcast = station;
        }
    }
    if (answered != nullptr) {
        asked = true;
        return answered;
    }
    if (broadcast != nullptr) return broadcast;
    return candidates.size() == 1 ? candidates.front() : nullptr;
}

void Adapter::ReportLocalBusy(Station &station) {
    if (station.localBusy) return;
    station.localBusy = true;
    dlc::ReadStatus status{};
    status.stationId = station.id;
    status.dlcStatusCode = dlc::kIndicateLocalStationBusy;
    status.userStatusValue = station.userStatusValue;
    station.statuses.push_back(status);
}

bool Adapter::Deliver(const UiFrame &frame) {
    bool asked = false;
    Station *station = Recipient(frame, asked);
    if (station == nullptr) return true;
    const auto application = applications_.find(station->applicationId);
    if (application == applications_.end()) return true;
    ReceiveBuffer *first = application->second->pool.Lend(frame.data);
    if (first == nullptr) {
        ReportLocalBusy(*station);
        Dispatch(*station);
        return false;
    }
    if (asked) station->awaiting = false;  // answered; a broadcast stays open to every answer
    dlc::FirstReceiveBuffer &header = first->first;
    header.frameLength = static_cast<std::uint16_t>(kEthernetHeaderSize + kLlcHeaderSize + frame.data.size());
    header.stationId = station->id;
    header.options = dlc::kReceiveNotContiguous;
    header.messageType = kUiMessageType;
    header.buffersLeft = application->second->pool.FreeCount();
    header.nextFrame = nullptr;
    header.lanHeaderLength = static_cast<std::uint8_t>(dlc::kTransmitLanHeaderLength);
    header.dlcHeaderLength = static_cast<std::uint8_t>(kLlcHeaderSize);
    header.lanHeader[1] = kFrameControlLlc;
    CopyReversed(header.lanHeader + dlc::kLanHeaderDestinationOffset, frame.destination.data());
    CopyReversed(header.lanHeader + dlc::kLanHeaderSourceOffset, frame.source.data());
    header.dlcHeader[0] = frame.dsap;
    header.dlcHeader[1] = frame.ssap;
    header.dlcHeader[2] = kUiControl;
    try {
        station->frames.push_back(first);
    } catch (const std::bad_alloc &) {
        // The frame is lost, as on an adapter out of memory.
        static_cast<void>(application->second->pool.GiveBack(first));
        return true;
    }
    Dispatch(*station);
    return true;
}

void Adapter::Resume() {
    if (waiting_.empty()) return;
    try {
        UiFrame frame;
        if (ParseUiFrame(waiting_, frame) && !Deliver(frame)) return;
    } catch (const std::bad_alloc &) {
        // The frame is lost, as on an adapter out of memory.
    }
    waiting_.clear();
    const unsigned char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
}

bool Adapter::StartThread() {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    stopping_ = false;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        close(wake_[0]);
        close(wake_[1]);
        wake_[0] = wake_[1] = -1;
        return false;
    }
    return true;
}

// Called with `lock` held; the thread is joined without it.
void Adapter::StopThread(std::unique_lock<std::mutex> &lock) {
    if (!thread_.joinable()) return;
    stopping_ = true;
    const unsigned char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
    std::thread running = std::move(thread_);
    lock.unlock();
    running.join();
    lock.lock();
    for (QueuedTransmit &transmit : transmits_) Finish(transmit.block, dlc::kStatusCommandCancelledClosed);
    transmits_.clear();
    waiting_.clear();
    link_.Close();
    close(wake_[0]);
    close(wake_[1]);
    wake_[0] = wake_[1] = -1;
}

void Adapter::Shutdown() {
    std::unique_lock<std::mutex> lock(mutex_);
    StopThread(lock);
}

bool Adapter::Unused() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return applications_.empty();
}

// Sends the queued frames, then completes their blocks.
void Adapter::SendQueued() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!transmits_.empty()) {
        QueuedTransmit transmit = std::move(transmits_.front());
        transmits_.pop_front();
        lock.unlock();
        const bool sent = link_.Send(transmit.frame);
        lock.lock();
        const auto found = stations_.find(transmit.stationId);
        const bool stationOpen = found != stations_.end() && found->second.serial == transmit.serial;
        const std::uint8_t status = !stationOpen ? dlc::kStatusCommandCancelledClosed
                                    : sent        ? dlc::kStatusSuccess
                                                  : dlc::kStatusTransmitError;
        if (!stationOpen || transmit.block->completionEvent != nullptr) {
            Finish(transmit.block, status);
        } else {
            // Without an event the completion waits for a READ.
            transmit.block->status = status;
            found->second.completions.push_back(transmit.block);
            Dispatch(found->second);
        }
    }
}

void Adapter::Run() {
    std::vector<std::uint8_t> buffer;
    for (;;) {
        bool held = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            held = !waiting_.empty();
        }
        // While a frame waits for buffers the link is not read: what
        // follows it stays in the socket's buffer.
        pollfd entries[2] = {{wake_[0], POLLIN, 0}, {link_.Descriptor(), POLLIN, 0}};
        if (poll(entries, held ? 1 : 2, -1) < 0 && errno != EINTR) return;
        if (entries[0].revents != 0) {
            unsigned char drained[64];
            while (read(wake_[0], drained, sizeof drained) > 0) {
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) return;
            }
            SendQueued();
        }
        if (held || entries[1].revents == 0) continue;
        while (link_.Receive(buffer)) {
            UiFrame frame;
            if (!ParseUiFrame(buffer, frame)) continue;
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            bool delivered = true;
            try {
                delivered = Deliver(frame);
                if (!delivered) waiting_ = buffer;
            } catch (const std::bad_alloc &) {
                // The frame is lost, as on an adapter out of memory.
                delivered = true;
            }
            if (!delivered) break;
        }
    }
}

}  // namespace detail

namespace {

using detail::Adapter;

// Not a static object: blocks may still be pending when the process exits,
// and static destruction would pull the adapter from under them. Released
// at unload once no application is open; otherwise what it holds for them
// (their pools, pending blocks) stays reachable through it.
std::atomic<Adapter *> theAdapter{nullptr};

Adapter *TheAdapter() {
    static Adapter *const created = [] {
        auto *adapter = new Adapter;
        theAdapter.store(adapter);
        return adapter;
    }();
    static_cast<void>(created);
    return theAdapter.load();
}

}  // namespace

dlc::AcsLanStatus Submit(dlc::Ccb *block, dlc::Ccb **failingBlock) {
    Adapter *adapter = TheAdapter();
    if (adapter == nullptr) return dlc::kAcsLanSystemError;
    return adapter->Submit(block, failingBlock);
}

void Shutdown() {
    Adapter *adapter = theAdapter.load();
    if (adapter == nullptr) return;
    adapter->Shutdown();
    if (!adapter->Unused()) return;
    theAdapter.store(nullptr);
    delete adapter;
}

}  // namespace snmphelper::dlcapi
