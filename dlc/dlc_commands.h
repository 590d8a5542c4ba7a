/* SPDX-License-Identifier: Apache-2.0 */
// One wrapper per DLC command the library issues. Every wrapper builds a
// zero-filled block (adapter 0, the command code, bgApplId at the
// application-id byte) and its parameter table from the global heap, submits
// it to AcsLan and, where the command's completion is awaited, waits for the
// completion event. Results are the DLC results of dlc_access.h.
//
// Ownership: a block the interface rejected goes back to the heap at once; a
// block it accepted belongs to the interface until it completes. When a
// bounded wait gives up on a command that is still pending, its block and
// table are left to the interface rather than released under it.
#pragma once

#include <cstdint>

#include "platform/dlc_interface.h"
#include "platform/handles.h"

namespace snmphelper {

// DIR.OPEN.ADAPTER, under the exception guard: 0 and bgApplId written, or 1
// (2 when out of memory). An exception or fault in the interface writes
// "Got exception.DLC not installed" and makes DLC unavailable. The block's
// final status is stored through `finalStatus` when it is not null.
std::int32_t DlcOpenAdapter(std::uint8_t *finalStatus = nullptr);

// DIR.STATUS: keeps the reversed node address; 0, 1, 2, or 3 for an adapter
// type other than kDlcAdapterType.
std::int32_t DlcReadStatus();

// BUFFER.CREATE with `size` bytes of heap memory, threshold size / 4. The
// memory stays with the interface for the life of the process.
std::int32_t DlcCreateBufferPool(std::uint32_t size);

// DIR.CLOSE.ADAPTER; nothing is reported.
void DlcCloseAdapter();

// DLC.OPEN.SAP for `sap` on `event`: 0 with the SAP station id stored
// through `stationId`, or 1 (2 when out of memory).
std::int32_t DlcOpenSap(std::uint8_t sap, std::uint16_t *stationId, platform::EventHandle event);

// DLC.CLOSE.SAP, waiting at most DlcCloseSapWaitMs. Once it completed, the
// transmits and READs it ended are released; a RECEIVE it ended is not.
std::int32_t DlcCloseSap(std::uint16_t stationId);

// RECEIVE for the station, left outstanding: 0, 1 or 2. On 0 the pending
// block is stored through `receive` (when not null); it belongs to the
// interface until a RECEIVE.CANCEL or DLC.CLOSE.SAP completed it.
std::int32_t DlcStartReceive(std::uint16_t stationId, dlc::Ccb **receive);

// READ for the station on `event` (reset first): the pending block, its
// table behind it, or null when it could not be allocated or was rejected.
dlc::Ccb *DlcIssueRead(std::uint16_t stationId, platform::EventHandle event);

// RECEIVE.CANCEL (kReceiveCancel, names `stationId`) or READ.CANCEL
// (kReadCancel, names `target`): 0 when accepted and completed, 1 or 2.
std::int32_t DlcCancel(std::uint8_t command, std::uint16_t stationId, dlc::Ccb *target);

// BUFFER.FREE of the chain starting at `firstBuffer`, on `event`.
std::int32_t DlcFreeBuffers(dlc::ReceiveBuffer *firstBuffer, platform::EventHandle event);

// TRANSMIT.UI.FRAME of `length` bytes of `data` to the 6-byte adapter
// address `destination` (library order) at `remoteSap`: 0 when the interface
// accepted the frame, 1, or 2. The data is copied into the transmit's own
// buffer, so the caller's may go once this returns; the transmit's memory
// goes back when a READ reports its completion (DlcReleaseTransmits).
std::int32_t DlcTransmitUiFrame(std::uint16_t stationId, const std::uint8_t *data,
                                std::uint16_t length, const std::uint8_t *destination,
                                std::uint8_t remoteSap);

// Releases the completed transmits a READ reports; answers the READ's count
// of completed commands.
std::uint32_t DlcReleaseTransmits(const dlc::Ccb *read);

// Gives a block and its parameter table back to the heap. Null does nothing.
void DlcReleaseBlock(dlc::Ccb *block);

// The parameter table of a READ block from DlcIssueRead.
inline dlc::ReadTable &ReadTableOf(dlc::Ccb *read) { return read->parameter.table->read; }
inline const dlc::ReadTable &ReadTableOf(const dlc::Ccb *read) {
    return read->parameter.table->read;
}

}  // namespace snmphelper
