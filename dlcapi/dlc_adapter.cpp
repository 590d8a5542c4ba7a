// Command blocks of dlcapi.so against its adapter; decisions in dlc_adapter.h.
#include "dlcapi/dlc_adapter.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/environment.h"
#include "platform/event.h"
#include "dlcapi/buffer_pool.h"
#include "dlcapi/llc_link.h"

namespace snmphelper::dlcapi {
namespace {

using dlc::Ccb;
using dlc::ReceiveBuffer;

constexpr std::uint16_t kDefaultAdapterType = 0x0100;
constexpr std::uint8_t kDefaultMaxSaps = 126;
constexpr std::uint8_t kUiMessageType = 0x06;  // published message type of a UI frame
constexpr std::uint8_t kFrameControlLlc = 0x40;
constexpr Mac kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kSsapResponseBit = 0x01;

// Ethernet order to the token-ring order of the shared records and back.
std::uint8_t ReverseBits(std::uint8_t value) {
    std::uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if ((value & (1U << bit)) != 0) reversed = static_cast<std::uint8_t>(reversed | (0x80U >> bit));
    }
    return reversed;
}

void CopyReversed(std::uint8_t *to, const std::uint8_t *from) {
    for (std::size_t i = 0; i < dlc::kNodeAddressLength; ++i) to[i] = ReverseBits(from[i]);
}

std::uint16_t AdapterType() {
    const char *text = platform::ReadSetting("SNMPHELPER_DLC_ADAPTER_TYPE");
    if (text == nullptr || *text == '\0') return kDefaultAdapterType;
    char *end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    return *end == '\0' && value <= 0xFFFF ? static_cast<std::uint16_t>(value) : kDefaultAdapterType;
}

// Completes a block that the interface does not keep: status, then event.
dlc::AcsLanStatus CompleteNow(Ccb *block, std::uint8_t status) {
    block->status = status;
    if (block->completionEvent != nullptr) platform::SignalEvent(block->completionEvent);
    return dlc::kAcsLanAccepted;
}

dlc::AcsLanStatus Reject(Ccb *block, Ccb **failingBlock, std::uint8_t status) {
    static_cast<void>(CompleteNow(block, status));
    if (failingBlock != nullptr) *failingBlock = block;
    return dlc::kAcsLanCcbInError;
}

// Takes a pending block's event for the interface (false: not an event).
bool Keep(Ccb *block) {
    return block->completionEvent == nullptr || platform::RetainEvent(block->completionEvent);
}

// Completes a pending block whose event Keep took.
void Finish(Ccb *block, std::uint8_t status) {
    platform::EventHandle event = block->completionEvent;
    block->status = status;
    if (event != nullptr) {
        platform::SignalEvent(event);
        platform::CloseEvent(event);
    }
}

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
    void Deliver(const UiFrame &frame);
    Station *Recipient(const UiFrame &frame);
    void ReportLocalBusy(Station &station);

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
    std::uint64_t serials_ = 0;
    std::uint64_t sequence_ = 0;
};

dlc::AcsLanStatus Adapter::Submit(Ccb *block, Ccb **failingBlock) {
    if (block == nullptr) return dlc::kAcsLanInvalidCcbPointer;
    if (block->adapterNumber != 0) return Reject(block, failingBlock, dlc::kStatusInvalidAdapter);
    if (block->command == dlc::kDirOpenAdapter) return OpenAdapter(block, failingBlock);
    if (block->command == dlc::kDirCloseAdapter) return CloseAdapter(block, failingBlock);
    return Command(block, failingBlock);
}

dlc::AcsLanStatus Adapter::OpenAdapter(Ccb *block, Ccb **failingBlock) {
    const std::lock_guard<std::mutex> serial(lifecycle_);
    dlc::ParameterTable *table = block->parameter.table;
    if (table == nullptr || table->dirOpenAdapter.adapter == nullptr) {
        return Reject(block, failingBlock, dlc::kStatusParameterMissing);
    }
    dlc::AdapterOpenParameters &adapter = *table->dirOpenAdapter.adapter;
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint8_t id = 1;
    while (id != 0 && applications_.count(id) != 0) ++id;
    if (id == 0) return CompleteNow(block, dlc::kStatusNoMemory);
    if (!link_.IsOpen()) {
        const char *name = platform::ReadSetting("SNMPHELPER_DLC_INTERFACE");
        const OpenFailure failure = link_.Open(name != nullptr ? name : "");
        if (failure != OpenFailure::kNone) {
            adapter.openErrorCode = static_cast<std::uint16_t>(failure);
            return CompleteNow(block, failure == OpenFailure::kNotPermitted ? dlc::kStatusAccessDenied
                                      : failure == OpenFailure::kNoInterface ? dlc::kStatusAdapterNotInstalled
                                                                             : dlc::kStatusAdapterNotInitialized);
        }
        if (!StartThread()) {
            link_.Close();
            return CompleteNow(block, dlc::kStatusAdapterNotInitialized);
        }
    }
    auto application = std::make_unique<Application>();
    application->id = id;
    if (table->dirOpenAdapter.dlc != nullptr) {
        const dlc::DlcParameters &parameters = *table->dirOpenAdapter.dlc;
        if (parameters.maxSaps != 0) application->maxSaps = parameters.maxSaps;
        application->maxStations = parameters.maxStations;
    }
    applications_[id] = std::move(application);
    adapter.openErrorCode = 0;
    if (adapter.maxFrameSize == 0 || adapter.maxFrameSize > kMaxLengthField) {
        adapter.maxFrameSize = static_cast<std::uint16_t>(kMaxLengthField);
    }
    CopyReversed(adapter.nodeAddress, link_.Address().data());
    block->applicationId = id;
    return CompleteNow(block, dlc::kStatusSuccess);
}

dlc::AcsLanStatus Adapter::CloseAdapter(Ccb *block, Ccb **failingBlock) {
    const std::lock_guard<std::mutex> serial(lifecycle_);
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = applications_.find(block->applicationId);
    if (found == applications_.end()) return Reject(block, failingBlock, dlc::kStatusInvalidApplicationId);
    std::vector<Ccb *> ended;
    std::vector<Ccb *> toFinish;
    for (auto it = stations_.begin(); it != stations_.end();) {
        if (it->second.applicationId == block->applicationId) {
            EndStation(it->second, ended, toFinish);
            it = stations_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (it->applicationId == block->applicationId) {
            ended.push_back(it->block);
            toFinish.push_back(it->block);
            it = reads_.erase(it);
        } else {
            ++it;
        }
    }
    applications_.erase(found);
    // The blocks the close ended, linked from the close's own block; linked
    // before any is signalled, since the owner may release it from then on.
    for (std::size_t i = 0; i < ended.size(); ++i) ended[i]->next = i + 1 < ended.size() ? ended[i + 1] : nullptr;
    block->next = ended.empty() ? nullptr : ended.front();
    for (Ccb *pending : toFinish) Finish(pending, dlc::kStatusCommandCancelledClosed);
    if (applications_.empty()) StopThread(lock);
    return CompleteNow(block, dlc::kStatusSuccess);
}

dlc::AcsLanStatus Adapter::Command(Ccb *block, Ccb **failingBlock) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = applications_.find(block->applicationId);
    if (found == applications_.end()) return Reject(block, failingBlock, dlc::kStatusInvalidApplicationId);
    Application &application = *found->second;
    const bool needsTable = block->command != dlc::kDlcCloseSap && block->command != dlc::kReceiveCancel &&
                            block->command != dlc::kReadCancel;
    if (needsTable && block->parameter.table == nullptr) {
        return Reject(block, failingBlock, dlc::kStatusParameterMissing);
    }
    switch (block->command) {
    case dlc::kDirStatus:
        return Status(block, application);
    case dlc::kBufferCreate:
        return CreatePool(block, application);
    case dlc::kBufferFree:
        return FreeBuffers(block, application);
    case dlc::kDlcOpenSap:
        return OpenSap(block, failingBlock, application);
    case dlc::kDlcCloseSap:
        return CloseSap(block, failingBlock, application);
    case dlc::kReceive:
        return Receive(block, failingBlock, application);
    case dlc::kReceiveCancel:
        return CancelReceive(block, failingBlock, application);
    case dlc::kRead:
        return Read(block, failingBlock, application);
    case dlc::kReadCancel:
        return CancelRead(block, failingBlock, application);
    case dlc::kTransmitUiFrame:
        return Transmit(block, failingBlock, application);
    default:
        return Reject(block, failingBlock, dlc::kStatusInvalidCommand);
    }
}

dlc::AcsLanStatus Adapter::Status(Ccb *block, Application &application) {
    dlc::DirStatusTable &status = block->parameter.table->dirStatus;
    std::memset(&status, 0, sizeof status);
    CopyReversed(status.permanentAddress, link_.Address().data());
    CopyReversed(status.nodeAddress, link_.Address().data());
    std::size_t open = 0;
    for (const auto &entry : stations_) open += entry.second.applicationId == application.id ? 1 : 0;
    status.maxSaps = application.maxSaps;
    status.openSaps = static_cast<std::uint8_t>(std::min<std::size_t>(open, 0xFF));
    status.maxStations = application.maxStations;
    status.maxFrameLength = static_cast<std::uint32_t>(kMaxLengthField);
    status.adapterType = AdapterType();
    return CompleteNow(block, dlc::kStatusSuccess);
}

dlc::AcsLanStatus Adapter::CreatePool(Ccb *block, Application &application) {
    dlc::BufferCreateTable &table = block->parameter.table->bufferCreate;
    if (application.pool.Created()) return CompleteNow(block, dlc::kStatusDuplicateCommand);
    if (!application.pool.Create(table.buffer, table.bufferSize)) {
        return CompleteNow(block, dlc::kStatusInvalidBufferLength);
    }
    table.bufferPool = application.pool.Handle();
    return CompleteNow(block, dlc::kStatusSuccess);
}

dlc::AcsLanStatus Adapter::FreeBuffers(Ccb *block, Application &application) {
    dlc::BufferFreeTable &table = block->parameter.table->bufferFree;
    if (!application.pool.Created()) return CompleteNow(block, dlc::kStatusInadequateBuffers);
    const std::uint8_t status = application.pool.GiveBack(table.firstBuffer);
    table.buffersLeft = application.pool.FreeCount();
    if (status == dlc::kStatusSuccess) {
        // Room again: the next frame lost reports local busy anew.
        for (auto &entry : stations_) {
            if (entry.second.applicationId == application.id) entry.second.localBusy = false;
        }
    }
    return CompleteNow(block, status);
}

dlc::AcsLanStatus Adapter::OpenSap(Ccb *block, Ccb **failingBlock, Application &application) {
    dlc::OpenSapTable &table = block->parameter.table->openSap;
    const std::uint8_t sap = table.sapValue;
    // SAP 0 is the null SAP, odd values are group addresses.
    if (sap == 0 || (sap & 0x01) != 0 || (table.optionsPriority & dlc::kSapGroup) != 0) {
        return Reject(block, failingBlock, dlc::kStatusInvalidSapValue);
    }
    std::size_t open = 0;
    for (const auto &entry : stations_) open += entry.second.applicationId == application.id ? 1 : 0;
    if (open >= application.maxSaps) return Reject(block, failingBlock, dlc::kStatusInvalidSapValue);
    std::uint16_t id = 0;
    bool found = false;
    for (unsigned n = 0; n <= 0xFF && !found; ++n) {
        id = static_cast<std::uint16_t>(sap << 8 | n);
        found = stations_.count(id) == 0;
    }
    if (!found) return Reject(block, failingBlock, dlc::kStatusInvalidSapValue);
    Station station;
    station.id = id;
    station.serial = ++serials_;
    station.applicationId = application.id;
    station.sap = sap;
    station.userStatusValue = table.userStatusValue;
    stations_[id] = station;
    table.stationId = id;
    table.linkStationsAvailable = 0;
    return CompleteNow(block, dlc::kStatusSuccess);
}

Station *Adapter::FindStation(std::uint16_t id, const Application &application) {
    const auto found = stations_.find(id);
    if (found == stations_.end() || found->second.applicationId != application.id) return nullptr;
    return &found->second;
}

// Ends everything `station` holds: blocks still pending go to `toFinish`
// (completed with "closed"), every block it held to `ended`; frames never
// read go back to the pool.
void Adapter::EndStation(Station &station, std::vector<Ccb *> &ended, std::vector<Ccb *> &toFinish) {
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (it->stationId == station.id && it->option != dlc::kReadAll) {
            ended.push_back(it->block);
            toFinish.push_back(it->block);
            it = reads_.erase(it);
        } else {
            ++it;
        }
    }
    if (station.receive != nullptr) {
        ended.push_back(station.receive);
        toFinish.push_back(station.receive);
        station.receive = nullptr;
    }
    for (auto it = transmits_.begin(); it != transmits_.end();) {
        if (it->stationId == station.id && it->serial == station.serial) {
            ended.push_back(it->block);
            toFinish.push_back(it->block);
            it = transmits_.erase(it);
        } else {
            ++it;
        }
    }
    ended.insert(ended.end(), station.completions.begin(), station.completions.end());
    station.completions.clear();
    const auto application = applications_.find(station.applicationId);
    for (ReceiveBuffer *frame : station.frames) {
        if (application != applications_.end()) static_cast<void>(application->second->pool.GiveBack(frame));
    }
    station.frames.clear();
}

dlc::AcsLanStatus Adapter::CloseSap(Ccb *block, Ccb **failingBlock, Application &application) {
    Station *station = FindStation(block->parameter.dlc.stationId, application);
    if (station == nullptr) return Reject(block, failingBlock, dlc::kStatusInvalidStationId);
    std::vector<Ccb *> ended;
    std::vector<Ccb *> toFinish;
    EndStation(*station, ended, toFinish);
    stations_.erase(station->id);
    for (std::size_t i = 0; i < ended.size(); ++i) ended[i]->next = i + 1 < ended.size() ? ended[i + 1] : nullptr;
    block->next = ended.empty() ? nullptr : ended.front();
    for (Ccb *pending : toFinish) Finish(pending, dlc::kStatusCommandCancelledClosed);
    return CompleteNow(block, dlc::kStatusSuccess);
}

dlc::AcsLanStatus Adapter::Receive(Ccb *block, Ccb **failingBlock, Application &application) {
    const dlc::ReceiveTable &table = block->parameter.table->receive;
    Station *station = FindStation(table.stationId, application);
    if (station == nullptr) return Reject(block, failingBlock, dlc::kStatusInvalidStationId);
    if (!application.pool.Created()) return Reject(block, failingBlock, dlc::kStatusInadequateBuffers);
    if (table.receiveFlag == 0 || table.options != dlc::kReceiveNotContiguous) {
        return Reject(block, failingBlock, dlc::kStatusInvalidOption);
    }
    if (station->receive != nullptr) return Reject(block, failingBlock, dlc::kStatusDuplicateCommand);
    if (!Keep(block)) return Reject(block, failingBlock, dlc::kStatusInvalidPointerInCcb);
    block->status = dlc::kStatusPending;
    station->receive = block;
    return dlc::kAcsLanAccepted;
}

dlc::AcsLanStatus Adapter::CancelReceive(Ccb *block, Ccb **failingBlock, Application &application) {
    Station *station = FindStation(block->parameter.dlc.stationId, application);
    if (station == nullptr) return Reject(block, failingBlock, dlc::kStatusInvalidStationId);
    if (station->receive != nullptr) {
        Finish(station->receive, dlc::kStatusCancelledByUser);
        station->receive = nullptr;
    }
    return CompleteNow(block, dlc::kStatusSuccess);
}

// Writes into `read` what `station` has for it: one status change, or its
// transmit completions and one received frame. False when nothing.
bool Adapter::FillRead(Ccb *read, Station &station) {
    dlc::ReadTable &table = read->parameter.table->read;
    std::memset(&table.report, 0, sizeof table.report);
    table.event = 0;
    if ((table.eventSet & dlc::kEventStatusChange) != 0 && !station.statuses.empty()) {
        table.event = dlc::kEventStatusChange;
        table.report.status = station.statuses.front();
        station.statuses.pop_front();
        return true;
    }
    if ((table.eventSet & dlc::kEventTransmitCompletion) != 0 && !station.completions.empty()) {
        const std::size_t count = std::min<std::size_t>(station.completions.size(), 0xFFFF);
        for (std::size_t i = 0; i < count; ++i) {
            station.completions[i]->next = i + 1 < count ? station.completions[i + 1] : nullptr;
        }
        table.report.event.ccbCount = static_cast<std::uint16_t>(count);
        table.report.event.ccbCompletionList = station.completions.front();
        table.notificationFlag = station.completions.front()->completionFlag;
        station.completions.erase(station.completions.begin(),
                                  station.completions.begin() + static_cast<std::ptrdiff_t>(count));
        table.event |= dlc::kEventTransmitCompletion;
    }
    if ((table.eventSet & dlc::kEventReceiveData) != 0 && !station.frames.empty()) {
        table.report.event.receivedFrameCount = 1;
        table.report.event.receivedFrame = station.frames.front();
        station.frames.pop_front();
        table.notificationFlag = station.receive != nullptr ? station.receive->parameter.table->receive.receiveFlag : 0;
        table.event |= dlc::kEventReceiveData;
    }
    return table.event != 0;
}

// Completes the pending READs that `station` now has something for.
void Adapter::Dispatch(Station &station) {
    for (auto it = reads_.begin(); it != reads_.end();) {
        const bool covers = it->option == dlc::kReadAll ? it->applicationId == station.applicationId
                                                        : it->stationId == station.id;
        if (covers && FillRead(it->block, station)) {
            Ccb *read = it->block;
            it = reads_.erase(it);
            Finish(read, dlc::kStatusSuccess);
        } else {
            ++it;
        }
    }
}

dlc::AcsLanStatus Adapter::Read(Ccb *block, Ccb **failingBlock, Application &application) {
    const dlc::ReadTable &table = block->parameter.table->read;
    if (table.optionIndicator > dlc::kReadAll || table.eventSet == 0) {
        return Reject(block, failingBlock, dlc::kStatusInvalidOption);
    }
    Station *station = FindStation(table.stationId, application);
    if (station == nullptr && table.optionIndicator != dlc::kReadAll) {
        return Reject(block, failingBlock, dlc::kStatusInvalidStationId);
    }
    for (const PendingRead &pending : reads_) {
        if (pending.block == block) return Reject(block, failingBlock, dlc::kStatusDuplicateCommand);
    }
    if (station != nullptr && FillRead(block, *station)) return CompleteNow(block, dlc::kStatusSuccess);
    if (table.optionIndicator == dlc::kReadAll) {
        for (auto &entry : stations_) {
            if (entry.second.applicationId == application.id && FillRead(block, entry.second)) {
                return CompleteNow(block, dlc::kStatusSuccess);
            }
        }
    }
    if (!Keep(block)) return Reject(block, failingBlock, dlc::kStatusInvalidPointerInCcb);
    block->status = dlc::kStatusPending;
    reads_.push_back({block, table.stationId, application.id, table.optionIndicator});
    return dlc::kAcsLanAccepted;
}

// A READ that is no longer pending (completed, or never submitted) cannot
// be cancelled: the cancel is refused, so that its owner looks at it.
dlc::AcsLanStatus Adapter::CancelRead(Ccb *block, Ccb **failingBlock, Application &application) {
    const Ccb *target = block->parameter.command;
    for (auto it = reads_.begin(); it != reads_.end(); ++it) {
        if (it->block != target || it->applicationId != application.id) continue;
        Ccb *read = it->block;
        reads_.erase(it);
        // Cancelled without its event: its owner stopped waiting for it.
        read->status = dlc::kStatusCancelledByUser;
        if (read->completionEvent != nullptr) platform::CloseEvent(read->completionEvent);
        return CompleteNow(block, dlc::kStatusSuccess);
    }
    return Reject(block, failingBlock, dlc::kStatusCcbPointerField);
}

dlc::AcsLanStatus Adapter::Transmit(Ccb *block, Ccb **failingBlock, Application &application) {
    const dlc::TransmitTable &table = block->parameter.table->transmit;
    Station *station = FindStation(table.stationId, application);
    if (station == nullptr) return Reject(block, failingBlock, dlc::kStatusInvalidStationId);
    if (table.queue1 != nullptr || table.queue2 != nullptr) return Reject(block, failingBlock, dlc::kStatusInvalidOption);
    if (table.buffer1 == nullptr || table.buffer1Length < dlc::kTransmitLanHeaderLength ||
        (table.buffer2 == nullptr && table.buffer2Length != 0)) {
        return Reject(block, failingBlock, dlc::kStatusInvalidBufferLength);
    }
    if (table.buffer2Length > kMaxUiData) return Reject(block, failingBlock, dlc::kStatusInvalidFrameLength);
    Mac destination{};
    CopyReversed(destination.data(), static_cast<const std::uint8_t *>(table.buffer1) + dlc::kLanHeaderDestinationOffset);
    QueuedTransmit transmit;
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t *>(table.buffer2), table.buffer2Length);
    static_cast<void>(BuildUiFrame(destination, link_.Address(), table.remoteSap, station->sap, data, transmit.frame));
    if (!Keep(block)) return Reject(block, failingBlock, dlc::kStatusInvalidPointerInCcb);
    transmit.block = block;
    transmit.stationId = station->id;
    transmit.serial = station->serial;
    block->status = dlc::kStatusPending;
    transmits_.push_back(std::move(transmit));
    station->awaiting = true;
    station->awaitedFrom = destination;
    station->awaitedSap = table.remoteSap;
    station->transmitSequence = ++sequence_;
    const unsigned char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
    return dlc::kAcsLanAccepted;
}

// The station a received frame is for; see dlc_adapter.h.
Station *Adapter::Recipient(const UiFrame &frame) {
    std::vector<Station *> candidates;
    for (auto &entry : stations_) {
        if (entry.second.sap == frame.dsap && entry.second.receive != nullptr) candidates.push_back(&entry.second);
    }
    if (candidates.empty()) return nullptr;
    const std::uint8_t sourceSap = static_cast<std::uint8_t>(frame.ssap & ~kSsapResponseBit);
    Station *asked = nullptr;
    Station *broadcast = nullptr;
    for (Station *station : candidates) {
        if (!station->awaiting || station->awaitedSap != sourceSap) continue;
        if (station->awaitedFrom == frame.source &&
            (asked == nullptr || station->transmitSequence < asked->transmitSequence)) {
            asked = station;
        }
        if (station->awaitedFrom == kBroadcast &&
            (broadcast == nullptr || station->transmitSequence < broadcast->transmitSequence)) {
            broadcast = station;
        }
    }
    if (asked != nullptr) {
        asked->awaiting = false;  // answered; a broadcast stays open to every answer
        return asked;
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

void Adapter::Deliver(const UiFrame &frame) {
    Station *station = Recipient(frame);
    if (station == nullptr) return;
    const auto application = applications_.find(station->applicationId);
    if (application == applications_.end()) return;
    ReceiveBuffer *first = application->second->pool.Lend(frame.data);
    if (first == nullptr) {
        ReportLocalBusy(*station);
    } else {
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
        station->frames.push_back(first);
    }
    Dispatch(*station);
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
        pollfd entries[2] = {{wake_[0], POLLIN, 0}, {link_.Descriptor(), POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR) return;
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
        if (entries[1].revents == 0) continue;
        while (link_.Receive(buffer)) {
            UiFrame frame;
            if (!ParseUiFrame(buffer, frame)) continue;
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            try {
                Deliver(frame);
            } catch (const std::bad_alloc &) {
                // The frame is lost, as on an adapter out of memory.
            }
        }
    }
}

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
