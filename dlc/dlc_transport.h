/* SPDX-License-Identifier: Apache-2.0 */
// SNMP messages as IEEE 802.2 LLC UI frames between a local service access
// point and a printer's adapter, through the DLC interface prepared by
// InitDlcAccess. Address texts are 12 hexadecimal digits (the adapter
// address); address bytes those 6 bytes; ports SAP values in the low byte.
// Results are the Dlc* statuses (numbered as dlc/dlc_access.h numbers the
// DLC results, not the 20001 series): every operation answers DlcFailed
// while the transport has no completion event or DLC is unavailable.
#pragma once

#include <optional>

#include "dlc/dlc_access.h"
#include "platform/dlc_interface.h"
#include "platform/handles.h"
#include "transport/datagram_transport.h"

namespace snmphelper {

inline constexpr std::uint8_t kDlcAgentSap = 0x0A;
inline constexpr std::uint8_t kDlcDefaultLocalSap = 0x10;
inline constexpr std::uint8_t kDlcBroadcastAddress[dlc::kNodeAddressLength] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class DlcTransport final : public DatagramTransport {
public:
    // Creates the completion event; issues no DLC command.
    DlcTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    // Cancels the outstanding RECEIVE and closes the SAP (results ignored).
    ~DlcTransport() override;

    // Opens the SAP (low byte of `port`, 0x10 for 0) and starts receiving.
    TransportStatus Bind(std::uint16_t port) override;
    TransportStatus SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                  std::uint16_t port) override;
    TransportStatus SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                           std::uint16_t port) override;
    TransportStatus SendToAgent(const std::uint8_t *data, std::uint32_t length, const char *address) override;
    // Ok, DlcFailed, DlcTimedOut, DlcFrameTooLarge (what fitted is in
    // `buffer` and counted in `length`) or DlcLinkFailure (READ error or
    // link failure).
    // The sender port (source SAP, 0 when no frame was reached) is written
    // whatever the result, once the transport could be used.
    TransportStatus Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                            std::uint8_t *senderAddress, std::uint16_t *senderPort) override;
    // SendTo refuses an address text of fewer than 12 hex digits with
    // SendFailed, as the IPX transport refuses a short one:
    // nothing is sent, and the channel moves to the next protocol.
    // The adapter's node address; all zero without DLC. Always Ok.
    TransportStatus GetLocalAddress(std::uint8_t *address) override;

    // Receive, waiting at most `waitMs` milliseconds instead of the
    // transport's timeout: a frame ends the wait as soon as it arrives.
    TransportStatus ReceiveWithin(std::uint32_t waitMs, std::uint8_t *buffer, std::uint32_t size,
                                  std::uint32_t *length, std::uint8_t *senderAddress, std::uint16_t *senderPort);

    std::uint16_t StationId() const { return stationId_; }

private:
    bool Usable() const;
    TransportStatus Transmit(const std::uint8_t *data, std::uint32_t length, const std::uint8_t *destination,
                             std::uint16_t port);
    TransportStatus ReceiveFrame(std::uint32_t waitMs, std::uint8_t *buffer, std::uint32_t size,
                                 std::uint32_t *length, std::uint8_t *senderAddress, std::uint8_t *senderSap);
    // What a completed READ brings: a final result, or nothing for a READ
    // that reported nothing the receive waits for.
    std::optional<TransportStatus> HandleCompletedRead(dlc::Ccb *read, std::uint8_t *buffer,
                                                       std::uint32_t size, std::uint32_t *length,
                                                       std::uint8_t *senderAddress, std::uint8_t *senderSap);
    // Copies `frame` out and gives its buffers back to the pool.
    TransportStatus DeliverFrame(dlc::ReceiveBuffer *frame, std::uint8_t *buffer, std::uint32_t size,
                                 std::uint32_t *length, std::uint8_t *senderAddress, std::uint8_t *senderSap);
    void FreeFrame(dlc::ReceiveBuffer *frame);
    // The next held frame, taken from the list; null when none is held.
    dlc::ReceiveBuffer *TakeHeldFrame();
    // Gives every frame still held back to the pool.
    void FreeHeldFrames();

    std::uint16_t stationId_ = 0;
    platform::EventHandle completionEvent_ = nullptr;
    dlc::Ccb *receive_ = nullptr;  // the outstanding RECEIVE of Bind
    // Frames a READ reported beyond its first, linked by nextFrame: each is
    // the next Receive's, so none is lost and each goes back to the pool.
    dlc::ReceiveBuffer *heldFrames_ = nullptr;
    std::uint32_t heldFrameCount_ = 0;
};

}  // namespace snmphelper
