// SPDX-License-Identifier: Apache-2.0
#include "dlc/dlc_commands.h"

#include <cstring>
#include <new>

#include "dlc/dlc_access.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/exception_guard.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

using dlc::Ccb;
using dlc::ParameterTable;
using platform::EventHandle;
using platform::EventWait;

// DIR.OPEN.ADAPTER settings.
constexpr std::uint16_t kMaxFrameSize = 1496;
constexpr std::uint8_t kMaxSaps = 0x7E;
constexpr std::uint8_t kMaxLinkStations = 0xFF;

// DLC.OPEN.SAP settings.
constexpr std::uint8_t kSapOptionsPriority = dlc::kSapIndividual;
constexpr std::uint8_t kSapStationCount = 1;
constexpr std::uint32_t kSapDlcStatusFlags = 1;
constexpr std::uint8_t kSapTimerT1 = 10;
constexpr std::uint8_t kSapMaxOut = 5;

// RECEIVE: the receive flag and the block's completion flag that identify
// the library's frames and completions in READ reports.
constexpr std::uint32_t kReceiveFlag = 0x50204040;
constexpr std::uint32_t kReceiveCompletionFlag = 0x50204030;

// The tables of DIR.OPEN.ADAPTER in one block; the table proper comes first
// so that the block is released like any other table.
struct OpenAdapterTables {
    ParameterTable table;
    dlc::AdapterOpenParameters adapter;
    dlc::ExtendedAdapterParameters extended;
    dlc::DlcParameters dlc;
};

bool TakesTable(std::uint8_t command) {
    switch (command) {
        case dlc::kDirCloseAdapter:
        case dlc::kDlcCloseSap:
        case dlc::kReceiveCancel:
        case dlc::kReadCancel:
            return false;
        default:
            return true;
    }
}

// A zero-filled block for `command` carrying the application id; null when
// out of memory.
Ccb *NewBlock(std::uint8_t command) {
    auto *block = static_cast<Ccb *>(platform::HeapAllocZero(sizeof(Ccb)));
    if (block == nullptr) return nullptr;
    block->adapterNumber = 0;
    block->command = command;
    block->applicationId = bgApplId;
    return block;
}

// A block with a zero-filled parameter table of `tableSize` bytes; null
// (nothing left allocated) when out of memory.
Ccb *NewBlockWithTable(std::uint8_t command, std::size_t tableSize = sizeof(ParameterTable)) {
    Ccb *block = NewBlock(command);
    if (block == nullptr) return nullptr;
    block->parameter.table = static_cast<ParameterTable *>(platform::HeapAllocZero(tableSize));
    if (block->parameter.table == nullptr) {
        platform::HeapFree(block);
        return nullptr;
    }
    return block;
}

bool Submit(Ccb *block) {
    const dlc::AcsLanEntry acsLan = DlcAcsLan();
    if (acsLan == nullptr) return false;
    return acsLan(block, nullptr) == dlc::kAcsLanAccepted;
}

// After the wait for an accepted command: the block goes back to the heap
// once the command is over, and stays with the interface while it may still
// write to it.
void ReleaseWhenDone(Ccb *block, EventWait waited) {
    if (waited == EventWait::kSignalled && block->status != dlc::kStatusPending) {
        DlcReleaseBlock(block);
    }
}

// Closes the event it holds when it goes.
class OwnedEvent {
public:
    OwnedEvent() : event_(platform::CreateManualResetEvent()) {}
    ~OwnedEvent() { platform::CloseEvent(event_); }
    OwnedEvent(const OwnedEvent &) = delete;
    OwnedEvent &operator=(const OwnedEvent &) = delete;
    EventHandle Get() const { return event_; }
    EventHandle Release() {
        EventHandle event = event_;
        event_ = nullptr;
        return event;
    }

private:
    EventHandle event_;
};

// Submits `block` to signal `event`, reset first; a block the interface
// refuses goes back to the heap at once.
bool SubmitOn(Ccb *block, EventHandle event) {
    block->completionEvent = event;
    platform::ClearEvent(event);
    if (Submit(block)) return true;
    DlcReleaseBlock(block);
    return false;
}

// Submits `block` on `event` (reset first) and waits for its completion
// within `limitMs`: 0 when it completed with status 0, else 1. The block is
// released unless the interface may still hold it.
std::int32_t SubmitAndAwait(Ccb *block, EventHandle event, std::uint32_t limitMs) {
    if (!SubmitOn(block, event)) return kDlcFailed;
    const EventWait waited = platform::WaitForEvent(event, limitMs);
    const bool succeeded = waited == EventWait::kSignalled && block->status == dlc::kStatusSuccess;
    ReleaseWhenDone(block, waited);
    return succeeded ? kDlcSuccess : kDlcFailed;
}

// Steps of DIR.OPEN.ADAPTER that run under the exception guard; plain data
// only, since a fault abandons them.
struct OpenAdapterRun {
    Ccb *block;
    EventHandle event;
    bool rejected;
    EventWait waited;
    std::int32_t result;
};

void RunOpenAdapter(void *context) {
    auto &run = *static_cast<OpenAdapterRun *>(context);
    // "Adapter already open" is a rejection the library goes on from: the
    // interface is expected to complete the command all the same.
    if (!Submit(run.block) && run.block->status != dlc::kStatusAdapterOpen) {
        run.rejected = true;
        return;
    }
    run.waited = platform::WaitForEvent(run.event, DlcCommandWaitMs());
    if (run.waited != EventWait::kSignalled || run.block->status != dlc::kStatusSuccess) return;
    // DIR.OPEN.ADAPTER alone reads the application id instead of carrying it.
    bgApplId = run.block->applicationId;
    run.result = kDlcSuccess;
}

// What an interface that faulted was given, kept for the life of the
// process: it may still write to the block or signal the event, and nothing
// tells when it stops. Held from here, so kept on purpose rather than lost.
struct KeptForInterface {
    Ccb *block;
    EventHandle event;
    KeptForInterface *earlier;
};
KeptForInterface *keptForInterface = nullptr;

void KeepForInterface(Ccb *block, EventHandle event) {
    auto *kept = new (std::nothrow) KeptForInterface{block, event, keptForInterface};
    if (kept != nullptr) keptForInterface = kept;
}

}  // namespace

void DlcReleaseBlock(Ccb *block) {
    if (block == nullptr) return;
    if (TakesTable(block->command)) platform::HeapFree(block->parameter.table);
    platform::HeapFree(block);
}

std::int32_t DlcOpenAdapter(std::uint8_t *finalStatus) {
    OwnedEvent event;
    if (event.Get() == nullptr) return kDlcFailed;
    Ccb *block = NewBlockWithTable(dlc::kDirOpenAdapter, sizeof(OpenAdapterTables));
    if (block == nullptr) return kDlcNoMemory;
    block->applicationId = 0;
    auto *tables = reinterpret_cast<OpenAdapterTables *>(block->parameter.table);
    tables->adapter.maxFrameSize = kMaxFrameSize;
    tables->dlc.maxSaps = kMaxSaps;
    tables->dlc.maxStations = kMaxLinkStations;
    tables->table.dirOpenAdapter.adapter = &tables->adapter;
    tables->table.dirOpenAdapter.extended = &tables->extended;
    tables->table.dirOpenAdapter.dlc = &tables->dlc;
    block->completionEvent = event.Get();
    platform::ClearEvent(event.Get());

    OpenAdapterRun run{block, event.Get(), false, EventWait::kFailed, kDlcFailed};
    if (!platform::RunGuarded(RunOpenAdapter, &run)) {
        platform::OutputDebugText("Got exception.DLC not installed");
        DisableDlcAccess();
        // A faulting interface may still hold the block and the event.
        KeepForInterface(block, event.Release());
        return kDlcFailed;
    }
    if (finalStatus != nullptr) *finalStatus = block->status;
    if (run.rejected) {
        DlcReleaseBlock(block);
    } else {
        ReleaseWhenDone(block, run.waited);
    }
    return run.result;
}

std::int32_t DlcReadStatus() {
    OwnedEvent event;
    if (event.Get() == nullptr) return kDlcFailed;
    Ccb *block = NewBlockWithTable(dlc::kDirStatus);
    if (block == nullptr) return kDlcNoMemory;
    if (!SubmitOn(block, event.Get())) return kDlcFailed;
    const EventWait waited = platform::WaitForEvent(event.Get(), DlcCommandWaitMs());
    if (waited != EventWait::kSignalled || block->status != dlc::kStatusSuccess) {
        ReleaseWhenDone(block, waited);
        return kDlcFailed;
    }
    const dlc::DirStatusTable &status = block->parameter.table->dirStatus;
    SetDlcAdapterNodeAddress(status.nodeAddress);
    const bool rightType = status.adapterType == kDlcAdapterType;
    DlcReleaseBlock(block);
    return rightType ? kDlcSuccess : kDlcWrongAdapter;
}

std::int32_t DlcCreateBufferPool(std::uint32_t size) {
    OwnedEvent event;
    if (event.Get() == nullptr) return kDlcFailed;
    void *pool = platform::HeapAllocZero(size);
    if (pool == nullptr) return kDlcNoMemory;
    Ccb *block = NewBlockWithTable(dlc::kBufferCreate);
    if (block == nullptr) {
        platform::HeapFree(pool);
        return kDlcNoMemory;
    }
    dlc::BufferCreateTable &table = block->parameter.table->bufferCreate;
    table.buffer = pool;
    table.bufferSize = size;
    table.minimumSizeThreshold = size / 4;
    block->completionEvent = event.Get();
    platform::ClearEvent(event.Get());
    if (!Submit(block)) {
        DlcReleaseBlock(block);
        platform::HeapFree(pool);
        return kDlcFailed;
    }
    // The interface completes BUFFER.CREATE at once; a status other than 0
    // here is a failure (a pending one keeps block and pool).
    if (block->status != dlc::kStatusSuccess) {
        if (block->status != dlc::kStatusPending) {
            DlcReleaseBlock(block);
            platform::HeapFree(pool);
        }
        return kDlcFailed;
    }
    const EventWait waited = platform::WaitForEvent(event.Get(), DlcCommandWaitMs());
    const bool created = block->status == dlc::kStatusSuccess;
    if (!created && waited == EventWait::kSignalled && block->status != dlc::kStatusPending) {
        platform::HeapFree(pool);
    }
    // The pool handle it answers is not kept: later commands name no pool.
    ReleaseWhenDone(block, waited);
    return created ? kDlcSuccess : kDlcFailed;
}

void DlcCloseAdapter() {
    Ccb *block = NewBlock(dlc::kDirCloseAdapter);
    if (block == nullptr) return;
    OwnedEvent event;
    if (event.Get() == nullptr) {
        DlcReleaseBlock(block);
        return;
    }
    static_cast<void>(SubmitAndAwait(block, event.Get(), DlcCommandWaitMs()));
}

std::int32_t DlcOpenSap(std::uint8_t sap, std::uint16_t *stationId, EventHandle event) {
    // From the heap rather than the stack: a wait that gives up leaves the
    // block with the interface.
    Ccb *block = NewBlockWithTable(dlc::kDlcOpenSap);
    if (block == nullptr) return kDlcNoMemory;
    dlc::OpenSapTable &table = block->parameter.table->openSap;
    table.sapValue = sap;
    table.optionsPriority = kSapOptionsPriority;
    table.stationCount = kSapStationCount;
    table.dlcStatusFlags = kSapDlcStatusFlags;
    table.timerT1 = kSapTimerT1;
    table.maxOut = kSapMaxOut;
    block->completionEvent = event;
    platform::ClearEvent(event);
    if (!Submit(block)) {
        DlcReleaseBlock(block);
        return kDlcFailed;
    }
    if (block->status != dlc::kStatusSuccess) {
        if (block->status != dlc::kStatusPending) DlcReleaseBlock(block);
        return kDlcFailed;
    }
    const EventWait waited = platform::WaitForEvent(event, DlcCommandWaitMs());
    const bool opened = waited == EventWait::kSignalled && block->status == dlc::kStatusSuccess;
    if (opened && stationId != nullptr) *stationId = table.stationId;
    ReleaseWhenDone(block, waited);
    return opened ? kDlcSuccess : kDlcFailed;
}

namespace {

// A bound on a completion chain's length, against one that loops.
constexpr std::uint32_t kMostChainedBlocks = 4096;

// Frees the transmits among at most `most` completed blocks chained from
// `entry`, and the READs too when `reads` is set: a READ the SAP's close
// ended is one its issuer left to the interface. A RECEIVE is released by
// whoever issued it.
void ReleaseChain(Ccb *entry, std::uint32_t most, bool reads) {
    for (std::uint32_t i = 0; i < most && entry != nullptr; ++i) {
        Ccb *next = entry->next;
        if (entry->command == dlc::kTransmitUiFrame) {
            platform::HeapFree(entry->parameter.table->transmit.buffer1);
            DlcReleaseBlock(entry);
        } else if (reads && entry->command == dlc::kRead) {
            DlcReleaseBlock(entry);
        }
        entry = next;
    }
}

}  // namespace

std::int32_t DlcCloseSap(std::uint16_t stationId) {
    OwnedEvent event;
    if (event.Get() == nullptr) return kDlcFailed;
    Ccb *block = NewBlock(dlc::kDlcCloseSap);
    if (block == nullptr) return kDlcNoMemory;
    block->parameter.dlc.stationId = stationId;
    if (!SubmitOn(block, event.Get())) return kDlcFailed;
    // Only whether it completed in time counts, not its status.
    const EventWait waited = platform::WaitForEvent(event.Get(), DlcCloseSapWaitMs());
    // Transmits whose completion no READ collected, and READs given up on,
    // come back chained on the close; nobody else will free them.
    if (waited == EventWait::kSignalled) ReleaseChain(block->next, kMostChainedBlocks, true);
    ReleaseWhenDone(block, waited);
    return waited == EventWait::kSignalled ? kDlcSuccess : kDlcFailed;
}

std::int32_t DlcStartReceive(std::uint16_t stationId, Ccb **receive) {
    Ccb *block = NewBlockWithTable(dlc::kReceive);
    if (block == nullptr) return kDlcNoMemory;
    dlc::ReceiveTable &table = block->parameter.table->receive;
    table.stationId = stationId;
    table.receiveFlag = kReceiveFlag;
    block->completionFlag = kReceiveCompletionFlag;
    if (!Submit(block)) {
        DlcReleaseBlock(block);
        return kDlcFailed;
    }
    if (block->status != dlc::kStatusPending) {
        DlcReleaseBlock(block);
        return kDlcFailed;
    }
    if (receive != nullptr) *receive = block;
    return kDlcSuccess;
}

Ccb *DlcIssueRead(std::uint16_t stationId, EventHandle event) {
    Ccb *block = NewBlockWithTable(dlc::kRead);
    if (block == nullptr) return nullptr;
    dlc::ReadTable &table = block->parameter.table->read;
    table.stationId = stationId;
    table.optionIndicator = dlc::kReadSap;
    table.eventSet = dlc::kEventAll;
    return SubmitOn(block, event) ? block : nullptr;
}

std::int32_t DlcCancel(std::uint8_t command, std::uint16_t stationId, Ccb *target) {
    OwnedEvent event;
    if (event.Get() == nullptr) return kDlcFailed;
    Ccb *block = NewBlock(command);
    if (block == nullptr) return kDlcNoMemory;
    if (command == dlc::kReadCancel) {
        block->parameter.command = target;
    } else {
        block->parameter.dlc.stationId = stationId;
    }
    if (!SubmitOn(block, event.Get())) return kDlcFailed;
    // The cancelling command's own status is not examined.
    const EventWait waited = platform::WaitForEvent(event.Get(), DlcCommandWaitMs());
    ReleaseWhenDone(block, waited);
    return waited == EventWait::kSignalled ? kDlcSuccess : kDlcFailed;
}

std::int32_t DlcFreeBuffers(dlc::ReceiveBuffer *firstBuffer, EventHandle event) {
    Ccb *block = NewBlockWithTable(dlc::kBufferFree);
    if (block == nullptr) return kDlcNoMemory;
    block->parameter.table->bufferFree.firstBuffer = firstBuffer;
    return SubmitAndAwait(block, event, DlcCommandWaitMs());
}

std::int32_t DlcTransmitUiFrame(std::uint16_t stationId, const std::uint8_t *data,
                                std::uint16_t length, const std::uint8_t *destination,
                                std::uint8_t remoteSap) {
    if (!DlcAvailable()) return kDlcFailed;
    // The LAN header, then the copy of the data the interface sends from.
    auto *frame = static_cast<std::uint8_t *>(
        platform::HeapAllocZero(dlc::kTransmitLanHeaderLength + length));
    if (frame == nullptr) return kDlcNoMemory;
    Ccb *block = NewBlockWithTable(dlc::kTransmitUiFrame);
    if (block == nullptr) {
        platform::HeapFree(frame);
        return kDlcNoMemory;
    }
    std::uint8_t *headerDestination = frame + dlc::kLanHeaderDestinationOffset;
    std::memcpy(headerDestination, destination, dlc::kNodeAddressLength);
    ReverseAddressBits(headerDestination);
    if (length != 0) std::memcpy(frame + dlc::kTransmitLanHeaderLength, data, length);

    dlc::TransmitTable &table = block->parameter.table->transmit;
    table.stationId = stationId;
    table.remoteSap = remoteSap;
    table.buffer1 = frame;
    table.buffer1Length = static_cast<std::uint16_t>(dlc::kTransmitLanHeaderLength);
    table.buffer2 = frame + dlc::kTransmitLanHeaderLength;
    table.buffer2Length = length;
    if (!Submit(block)) {
        DlcReleaseBlock(block);
        platform::HeapFree(frame);
        return kDlcFailed;
    }
    return kDlcSuccess;
}

std::uint32_t DlcReleaseTransmits(const Ccb *read) {
    const dlc::ReadEvent &report = ReadTableOf(read).report.event;
    ReleaseChain(report.ccbCompletionList, report.ccbCount, false);
    return report.ccbCount;
}

}  // namespace snmphelper
