// SPDX-License-Identifier: Apache-2.0
#include "dlc/dlc_access.h"

#include <atomic>
#include <cstring>

#include "dlc/dlc_commands.h"
#include "platform/library_loader.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kBufferPoolSize = 32768;

// Set while the library loads, read by any thread afterwards.
platform::LibraryHandle dlcLibrary = nullptr;
std::atomic<dlc::AcsLanEntry> acsLan{nullptr};
std::uint8_t adapterNodeAddress[dlc::kNodeAddressLength] = {};

DlcInitReport initReport;

int RecordInit(DlcInitStage stage, int result) {
    initReport.stage = stage;
    initReport.result = result;
    return result;
}

std::atomic<std::uint32_t> commandWaitMs{kDlcCommandWaitMs};
std::atomic<std::uint32_t> closeSapWaitMs{kDlcCloseSapWaitMs};

std::uint8_t ReverseBits(std::uint8_t value) {
    std::uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        reversed = static_cast<std::uint8_t>((reversed << 1) | ((value >> bit) & 1));
    }
    return reversed;
}

}  // namespace

std::uint8_t bgApplId = 0;

int InitDlcAccess() {
    if (dlcLibrary != nullptr) return kDlcFailed;
    dlcLibrary = platform::LoadPlatformLibrary(dlc::kInterfaceLibraryName);
    if (dlcLibrary == nullptr) return RecordInit(DlcInitStage::kNoInterfaceLibrary, kDlcFailed);
    // The interface stays loaded for the life of the process, bound or not.
    const platform::EntryPoint entry = platform::FindEntryPoint(dlcLibrary, dlc::kAcsLanEntryName);
    if (entry == nullptr) return RecordInit(DlcInitStage::kNoAcsLan, kDlcFailed);
    acsLan.store(reinterpret_cast<dlc::AcsLanEntry>(entry));

    const std::int32_t opened = DlcOpenAdapter(&initReport.openStatus);
    if (opened != kDlcSuccess) {
        return RecordInit(DlcAvailable() ? DlcInitStage::kAdapterOpen : DlcInitStage::kInterfaceFaulted, opened);
    }
    const std::int32_t status = DlcReadStatus();
    if (status != kDlcSuccess) {
        DlcCloseAdapter();
        return RecordInit(status == kDlcWrongAdapter ? DlcInitStage::kWrongAdapterType : DlcInitStage::kAdapterStatus,
                      status);
    }
    const std::int32_t pool = DlcCreateBufferPool(kBufferPoolSize);
    if (pool != kDlcSuccess) {
        DlcCloseAdapter();
        return RecordInit(DlcInitStage::kBufferPool, pool);
    }
    return RecordInit(DlcInitStage::kReady, kDlcSuccess);
}

DlcInitReport DlcInitOutcome() { return initReport; }

dlc::AcsLanEntry DlcAcsLan() { return acsLan.load(); }

const std::uint8_t *DlcAdapterNodeAddress() { return adapterNodeAddress; }

void SetDlcAdapterNodeAddress(const std::uint8_t *statusNodeAddress) {
    std::memcpy(adapterNodeAddress, statusNodeAddress, sizeof adapterNodeAddress);
    ReverseAddressBits(adapterNodeAddress);
}

void DisableDlcAccess() {
    acsLan.store(nullptr);
    dlcLibrary = nullptr;
}

void ReverseAddressBits(std::uint8_t *address) {
    for (std::size_t i = 0; i < dlc::kNodeAddressLength; ++i) address[i] = ReverseBits(address[i]);
}

std::uint32_t DlcCommandWaitMs() { return commandWaitMs.load(); }
std::uint32_t DlcCloseSapWaitMs() { return closeSapWaitMs.load(); }

void SetDlcWaitLimitsForTests(std::uint32_t commandWait, std::uint32_t closeSapWait) {
    commandWaitMs.store(commandWait == 0 ? kDlcCommandWaitMs : commandWait);
    closeSapWaitMs.store(closeSapWait == 0 ? kDlcCloseSapWaitMs : closeSapWait);
}

void ResetDlcAccessForTests() {
    DisableDlcAccess();
    std::memset(adapterNodeAddress, 0, sizeof adapterNodeAddress);
    initReport = DlcInitReport{};
    bgApplId = 0;
    SetDlcWaitLimitsForTests(0, 0);
}

}  // namespace snmphelper
