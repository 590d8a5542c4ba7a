// SPDX-License-Identifier: Apache-2.0
#include "dlc/dlc_transport.h"

#include <cstring>
#include <optional>

#include "dlc/dlc_commands.h"
#include "platform/event.h"

namespace snmphelper {
namespace {

// The status of a DLC command's result; the interface's commands answer
// only the numbers of dlc/dlc_access.h.
TransportStatus DlcStatus(std::int32_t dlcResult) {
    switch (dlcResult) {
    case kDlcSuccess: return TransportStatus::Ok;
    case kDlcNoMemory: return TransportStatus::DlcNoMemory;
    case kDlcWrongAdapter: return TransportStatus::DlcWrongAdapter;
    case kDlcTimedOut: return TransportStatus::DlcTimedOut;
    case kDlcFrameTooLarge: return TransportStatus::DlcFrameTooLarge;
    case kDlcLinkFailure: return TransportStatus::DlcLinkFailure;
    default: return TransportStatus::DlcFailed;
    }
}
// Callers receive the DLC transport's results as the interface numbers them.
static_assert(ResultCode(TransportStatus::DlcFailed) == kDlcFailed &&
              ResultCode(TransportStatus::DlcNoMemory) == kDlcNoMemory &&
              ResultCode(TransportStatus::DlcWrongAdapter) == kDlcWrongAdapter &&
              ResultCode(TransportStatus::DlcTimedOut) == kDlcTimedOut &&
              ResultCode(TransportStatus::DlcFrameTooLarge) == kDlcFrameTooLarge &&
              ResultCode(TransportStatus::DlcLinkFailure) == kDlcLinkFailure);

// The wait of one READ: the timeout in milliseconds; all ones (-1) stands
// for no limit.
std::uint32_t ReceiveWaitMs(std::int32_t timeoutSeconds) {
    if (static_cast<std::uint32_t>(timeoutSeconds) == platform::kWaitForever) {
        return platform::kWaitForever;
    }
    if (timeoutSeconds <= 0) return 0;
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(timeoutSeconds) * 1000U;
    return milliseconds >= platform::kWaitForever ? platform::kWaitForever - 1
                                                  : static_cast<std::uint32_t>(milliseconds);
}

std::uint8_t SapOf(std::uint16_t port) { return static_cast<std::uint8_t>(port & 0xFF); }

// Twelve hex digits name an adapter; fewer would be read past their end.
bool IsAdapterAddressText(const char *address) {
    if (address == nullptr) return false;
    for (std::size_t i = 0; i < 2 * dlc::kNodeAddressLength; ++i) {
        if (HexDigitValue(address[i]) == 0xFF) return false;
    }
    return true;
}

}  // namespace

DlcTransport::DlcTransport(std::uint32_t attempts, std::int32_t timeoutSeconds,
                           std::uint32_t options)
    : DatagramTransport(attempts, timeoutSeconds, options),
      completionEvent_(platform::CreateManualResetEvent()) {
    open_ = completionEvent_ != nullptr ? 1 : 0;
}

DlcTransport::~DlcTransport() {
    FreeHeldFrames();
    if (DlcAvailable()) {
        // Both are issued even after a failed Bind (they then name station 0).
        const bool cancelled = DlcCancel(dlc::kReceiveCancel, stationId_, nullptr) == kDlcSuccess;
        const bool closed = DlcCloseSap(stationId_) == kDlcSuccess;
        // Either command, once completed, has ended the RECEIVE with a final
        // status: the interface is done with it. A close that never came
        // back may have left it pending; then it stays with the interface.
        if (receive_ != nullptr && (cancelled || closed) && receive_->status != dlc::kStatusPending) {
            DlcReleaseBlock(receive_);
        }
    }
    // Closed last: closing the SAP ends every command that signals it.
    platform::CloseEvent(completionEvent_);
    open_ = 0;
}

bool DlcTransport::Usable() const { return open_ != 0 && DlcAvailable(); }

TransportStatus DlcTransport::Bind(std::uint16_t port) {
    if (!Usable()) return TransportStatus::DlcFailed;
    const std::uint8_t sap = SapOf(port) != 0 ? SapOf(port) : kDlcDefaultLocalSap;
    const std::int32_t opened = DlcOpenSap(sap, &stationId_, completionEvent_);
    if (opened != kDlcSuccess) return DlcStatus(opened);
    return DlcStatus(DlcStartReceive(stationId_, &receive_));
}

TransportStatus DlcTransport::SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                            std::uint16_t port) {
    return Transmit(data, length, kDlcBroadcastAddress, port);
}

TransportStatus DlcTransport::SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                                     std::uint16_t port) {
    if (!Usable()) return TransportStatus::DlcFailed;
    if (!IsAdapterAddressText(address)) return TransportStatus::SendFailed;
    std::uint8_t destination[dlc::kNodeAddressLength];
    HexToBytes(destination, address, dlc::kNodeAddressLength);
    return Transmit(data, length, destination, port);
}

TransportStatus DlcTransport::SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                          const char *address) {
    return SendTo(data, length, address, kDlcAgentSap);
}

TransportStatus DlcTransport::Transmit(const std::uint8_t *data, std::uint32_t length,
                                       const std::uint8_t *destination, std::uint16_t port) {
    if (!Usable()) return TransportStatus::DlcFailed;
    // A frame's length travels in 16 bits; a longer datagram is refused
    // rather than sent cut short.
    if (length > 0xFFFF || (data == nullptr && length != 0)) return TransportStatus::DlcFailed;
    return DlcStatus(
        DlcTransmitUiFrame(stationId_, data, static_cast<std::uint16_t>(length), destination, SapOf(port)));
}

TransportStatus DlcTransport::Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                      std::uint8_t *senderAddress, std::uint16_t *senderPort) {
    return ReceiveWithin(ReceiveWaitMs(timeoutSeconds_), buffer, size, length, senderAddress, senderPort);
}

TransportStatus DlcTransport::ReceiveWithin(std::uint32_t waitMs, std::uint8_t *buffer, std::uint32_t size,
                                            std::uint32_t *length, std::uint8_t *senderAddress,
                                            std::uint16_t *senderPort) {
    if (!Usable()) return TransportStatus::DlcFailed;
    std::uint8_t senderSap = 0;
    const TransportStatus result = ReceiveFrame(waitMs, buffer, size, length, senderAddress, &senderSap);
    if (senderPort != nullptr) *senderPort = senderSap;
    return result;
}

TransportStatus DlcTransport::GetLocalAddress(std::uint8_t *address) {
    if (address != nullptr) std::memcpy(address, DlcAdapterNodeAddress(), dlc::kNodeAddressLength);
    return TransportStatus::Ok;
}

TransportStatus DlcTransport::ReceiveFrame(std::uint32_t waitMs, std::uint8_t *buffer, std::uint32_t size,
                                           std::uint32_t *length, std::uint8_t *senderAddress,
                                           std::uint8_t *senderSap) {
    if (dlc::ReceiveBuffer *held = TakeHeldFrame(); held != nullptr) {
        return DeliverFrame(held, buffer, size, length, senderAddress, senderSap);
    }
    for (;;) {
        dlc::Ccb *read = DlcIssueRead(stationId_, completionEvent_);
        if (read == nullptr) return TransportStatus::DlcFailed;
        const platform::EventWait waited = platform::WaitForEvent(completionEvent_, waitMs);
        if (waited != platform::EventWait::kSignalled) {
            const TransportStatus result = waited == platform::EventWait::kTimedOut
                                               ? TransportStatus::DlcTimedOut
                                               : TransportStatus::DlcFailed;
            if (DlcCancel(dlc::kReadCancel, stationId_, read) == kDlcSuccess) {
                DlcReleaseBlock(read);
                return result;
            }
            // The READ may have completed while its cancel failed: its frame
            // is not lost. Otherwise it stays with the interface.
            if (!platform::IsEventSignalled(completionEvent_)) return result;
        }
        const std::optional<TransportStatus> result =
            HandleCompletedRead(read, buffer, size, length, senderAddress, senderSap);
        DlcReleaseBlock(read);
        if (result.has_value()) return *result;
        // A READ of nothing awaited: the next one gets the full wait again.
    }
}

std::optional<TransportStatus> DlcTransport::HandleCompletedRead(dlc::Ccb *read, std::uint8_t *buffer,
                                                                 std::uint32_t size, std::uint32_t *length,
                                                                 std::uint8_t *senderAddress,
                                                                 std::uint8_t *senderSap) {
    if (read->status != dlc::kStatusSuccess && read->status != dlc::kStatusPending) {
        return TransportStatus::DlcLinkFailure;
    }
    const dlc::ReadTable &table = ReadTableOf(read);
    if ((table.event & dlc::kEventTransmitCompletion) != 0) {
        static_cast<void>(DlcReleaseTransmits(read));
    }
    if ((table.event & dlc::kEventReceiveData) != 0 && table.report.event.receivedFrame != nullptr) {
        // An interface may batch frames into one READ: the first is this
        // receive's, the rest are held for the next ones.
        dlc::ReceiveBuffer *frame = table.report.event.receivedFrame;
        const std::uint16_t count = table.report.event.receivedFrameCount;
        heldFrames_ = count > 1 ? frame->first.nextFrame : nullptr;
        heldFrameCount_ = heldFrames_ != nullptr ? count - 1U : 0;
        return DeliverFrame(frame, buffer, size, length, senderAddress, senderSap);
    }
    constexpr std::uint16_t kLinkFailures =
        dlc::kIndicateLinkLost | dlc::kIndicateDmDiscReceived | dlc::kIndicateFrmrReceived;
    if ((table.event & dlc::kEventStatusChange) != 0 &&
        (table.report.status.dlcStatusCode & kLinkFailures) != 0) {
        return TransportStatus::DlcLinkFailure;
    }
    return std::nullopt;
}

TransportStatus DlcTransport::DeliverFrame(dlc::ReceiveBuffer *frame, std::uint8_t *buffer,
                                           std::uint32_t size, std::uint32_t *length,
                                           std::uint8_t *senderAddress, std::uint8_t *senderSap) {
    if (buffer == nullptr) size = 0;
    std::uint32_t copied = 0;
    if (length != nullptr) *length = 0;
    if (senderAddress != nullptr) {
        std::memcpy(senderAddress, frame->first.lanHeader + dlc::kLanHeaderSourceOffset,
                    dlc::kNodeAddressLength);
        ReverseAddressBits(senderAddress);
    }
    if (senderSap != nullptr) *senderSap = frame->first.dlcHeader[1];

    TransportStatus result = TransportStatus::Ok;
    for (dlc::ReceiveBuffer *part = frame; part != nullptr; part = part->header.nextBuffer) {
        // Each buffer's data lies at its own offset from the buffer's start.
        const std::uint32_t partLength = part->header.userDataLength;
        if (partLength > size - copied) {
            result = TransportStatus::DlcFrameTooLarge;
            break;
        }
        if (partLength != 0) {
            std::memcpy(buffer + copied,
                        reinterpret_cast<const std::uint8_t *>(part) + part->header.userDataOffset,
                        partLength);
        }
        copied += partLength;
        if (length != nullptr) *length = copied;
    }
    FreeFrame(frame);
    return result;
}

void DlcTransport::FreeFrame(dlc::ReceiveBuffer *frame) {
    // BUFFER.FREE returns one frame's buffers; unlinked, no interface can
    // follow it on to a frame still held.
    frame->first.nextFrame = nullptr;
    static_cast<void>(DlcFreeBuffers(frame, completionEvent_));
}

dlc::ReceiveBuffer *DlcTransport::TakeHeldFrame() {
    dlc::ReceiveBuffer *frame = heldFrames_;
    if (frame == nullptr) return nullptr;
    heldFrames_ = --heldFrameCount_ != 0 ? frame->first.nextFrame : nullptr;
    return frame;
}

void DlcTransport::FreeHeldFrames() {
    while (dlc::ReceiveBuffer *frame = TakeHeldFrame()) FreeFrame(frame);
}

}  // namespace snmphelper
