/* SPDX-License-Identifier: Apache-2.0 */
// What the command blocks (dlc_adapter.cpp) and the interface's thread
// (dlc_adapter_thread.cpp) share: the adapter, its applications and stations.
// Only for dlcapi/.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dlcapi/buffer_pool.h"
#include "dlcapi/llc_link.h"
#include "platform/dlc_interface.h"

namespace snmphelper::dlcapi::detail {

using dlc::Ccb;
using dlc::ReceiveBuffer;

inline constexpr std::uint16_t kDefaultAdapterType = 0x0100;
inline constexpr std::uint8_t kDefaultMaxSaps = 126;
inline constexpr std::uint8_t kUiMessageType = 0x06;  // published message type of a UI frame
inline constexpr std::uint8_t kFrameControlLlc = 0x40;
inline constexpr Mac kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::uint8_t kSsapResponseBit = 0x01;

// Ethernet order to the token-ring order of the shared records and back.
std::uint8_t ReverseBits(std::uint8_t value);

void CopyReversed(std::uint8_t *to, const std::uint8_t *from);

std::uint16_t AdapterType();

// Completes a block that the interface does not keep: status, then event.
dlc::AcsLanStatus CompleteNow(Ccb *block, std::uint8_t status);

dlc::AcsLanStatus Reject(Ccb *block, Ccb **failingBlock, std::uint8_t status);

// Takes a pending block's event for the interface (false: not an event).
bool Keep(Ccb *block);

// Completes a pending block whose event Keep took.
void Finish(Ccb *block, std::uint8_t status);

struct Application {
    std::uint8_t id = 0;
    std::uint8_t maxSaps = kDefaultMaxSaps;
    std::uint8_t maxStations = 0;
    BufferPool pool;
};

struct Station {
    std::uint16_t id = 0;
    std::uint64_t serial = 0;  // tells a station from a later one of the same id
    std::uint8_t applicationId = 0;
    std::uint8_t sap = 0;
    std::uint16_t userStatusValue = 0;
    Ccb *receive = nullptr;  // the outstanding RECEIVE
    std::deque<Ccb *> completions;
    std::deque<ReceiveBuffer *> frames;
    std::deque<dlc::ReadStatus> statuses;
    bool localBusy = false;
    // The last transmit, for sorting replies among stations of one SAP.
    bool awaiting = false;
    Mac awaitedFrom{};
    std::uint8_t awaitedSap = 0;
    std::uint64_t transmitSequence = 0;
};

struct PendingRead {
    Ccb *block = nullptr;
    std::uint16_t stationId = 0;
    std::uint8_t applicationId = 0;
    std::uint8_t option = 0;
};

struct QueuedTransmit {
    Ccb *block = nullptr;
    std::uint16_t stationId = 0;
    std::uint64_t serial = 0;
    std::vector<std::uint8_t> frame;
};

class Adapter {
public:
    dlc::AcsLanStatus Submit(Ccb *block, Ccb **failingBlock);
    void Shutdown();
    // No application open: nothing of anyone else's is held.
    bool Unused();

private:
    dlc::AcsLanStatus OpenAdapter(Ccb *block, Ccb **failingBlock);
    dlc::AcsLanStatus CloseAdapter(Ccb *block, Ccb **failingBlock);
    dlc::AcsLanStatus Command(Ccb *block, Ccb **failingBlock);
    dlc::AcsLanStatus Status(Ccb *block, Application &application);
    dlc::AcsLanStatus CreatePool(Ccb *block, Application &application);
    dlc::AcsLanStatus FreeBuffers(Ccb *block, Application &application);
    dlc::AcsLanStatus OpenSap(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus CloseSap(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus Receive(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus CancelReceive(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus Read(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus CancelRead(Ccb *block, Ccb **failingBlock, Application &application);
    dlc::AcsLanStatus Transmit(Ccb *block, Ccb **failingBlock, Application &application);

    Station *FindStation(std::uint16_t id, const Application &application);
    void EndStation(Station &station, std::vector<Ccb *> &ended, std::vector<Ccb *> &toFinish);
    bool FillRead(Ccb *read, Station &station);
    void Dispatch(Station &station);
    // False when the frame's station has too few buffers free: the frame
    // then waits (waiting_) and the station reports local busy.
    bool Deliver(const UiFrame &frame);
    // The station for `frame`; `asked` tells it answers that station's
    // transmit, which the delivery then marks answered.
    Station *Recipient(const UiFrame &frame, bool &asked);
    void ReportLocalBusy(Station &station);
    // Delivers the waiting frame when its station has room now (or is gone)
    // and lets the thread read the link again.
    void Resume();

    bool StartThread();
    void StopThread(std::unique_lock<std::mutex> &lock);
    void Run();
    void SendQueued();

    std::mutex lifecycle_;  // opens and closes of the adapter, one at a time
    std::mutex mutex_;      // everything below
    LlcLink link_;
    std::thread thread_;
    int wake_[2] = {-1, -1};
    bool stopping_ = false;
    std::map<std::uint8_t, std::unique_ptr<Application>> applications_;
    std::map<std::uint16_t, Station> stations_;
    std::deque<PendingRead> reads_;
    std::deque<QueuedTransmit> transmits_;
    // The frame read while its station's pool was full. Until it is
    // delivered the thread reads nothing more, so later frames wait in the
    // link's socket buffer, in order, instead of being lost.
    std::vector<std::uint8_t> waiting_;
    std::uint64_t serials_ = 0;
    std::uint64_t sequence_ = 0;
};

}  // namespace snmphelper::dlcapi::detail
