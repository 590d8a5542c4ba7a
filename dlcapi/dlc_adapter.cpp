// SPDX-License-Identifier: Apache-2.0
// Command blocks of dlcapi.so against its adapter; decisions in dlc_adapter.h.
// The frames received and the interface's thread: dlc_adapter_thread.cpp.
#include "dlcapi/dlc_adapter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "dlcapi/adapter.h"
#include "platform/environment.h"
#include "platform/event.h"

namespace snmphelper::dlcapi::detail {

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
    Resume();
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
        // Room again: the next frame that finds the pool full reports local
        // busy anew. A frame waiting for room is taken now when a READ waits
        // for it, else at the next READ.
        for (auto &entry : stations_) {
            if (entry.second.applicationId == application.id) entry.second.localBusy = false;
        }
        if (!reads_.empty()) Resume();
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
    Resume();
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
    Resume();
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

}  // namespace snmphelper::dlcapi::detail
