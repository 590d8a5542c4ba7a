/* SPDX-License-Identifier: Apache-2.0 */
// The platform DLC interface's codes (see platform/dlc_interface.h): the
// command codes, the status a command ends with, and what AcsLan answers for
// a submitted block.
#pragma once

#include <cstdint>

namespace snmphelper::dlc {

// Command codes.

inline constexpr std::uint8_t kDirInterrupt = 0x00;
inline constexpr std::uint8_t kDirOpenAdapter = 0x03;
inline constexpr std::uint8_t kDirCloseAdapter = 0x04;
inline constexpr std::uint8_t kTransmitUiFrame = 0x0D;
inline constexpr std::uint8_t kDlcOpenSap = 0x15;
inline constexpr std::uint8_t kDlcCloseSap = 0x16;
inline constexpr std::uint8_t kDirStatus = 0x21;
inline constexpr std::uint8_t kBufferGet = 0x26;
inline constexpr std::uint8_t kBufferFree = 0x27;
inline constexpr std::uint8_t kReceive = 0x28;
inline constexpr std::uint8_t kReceiveCancel = 0x29;
inline constexpr std::uint8_t kBufferCreate = 0x30;
inline constexpr std::uint8_t kRead = 0x31;
inline constexpr std::uint8_t kReadCancel = 0x32;

// ---------------------------------------------------------------------------
// Command status codes (the block's status byte).

inline constexpr std::uint8_t kStatusSuccess = 0x00;
inline constexpr std::uint8_t kStatusInvalidCommand = 0x01;
inline constexpr std::uint8_t kStatusDuplicateCommand = 0x02;
inline constexpr std::uint8_t kStatusAdapterOpen = 0x03;  // DIR.OPEN.ADAPTER: already open
inline constexpr std::uint8_t kStatusAdapterClosed = 0x04;
inline constexpr std::uint8_t kStatusParameterMissing = 0x05;
inline constexpr std::uint8_t kStatusInvalidOption = 0x06;
inline constexpr std::uint8_t kStatusCommandCancelledFailure = 0x07;
inline constexpr std::uint8_t kStatusAccessDenied = 0x08;
inline constexpr std::uint8_t kStatusAdapterNotInitialized = 0x09;
inline constexpr std::uint8_t kStatusCancelledByUser = 0x0A;
inline constexpr std::uint8_t kStatusCommandCancelledClosed = 0x0B;
inline constexpr std::uint8_t kStatusSuccessNotOpen = 0x0C;
inline constexpr std::uint8_t kStatusNoMemory = 0x12;
inline constexpr std::uint8_t kStatusBufferSizeExceeded = 0x16;
inline constexpr std::uint8_t kStatusInvalidBufferLength = 0x18;
inline constexpr std::uint8_t kStatusInadequateBuffers = 0x19;
inline constexpr std::uint8_t kStatusInvalidParameterTable = 0x1B;
inline constexpr std::uint8_t kStatusInvalidPointerInCcb = 0x1C;
inline constexpr std::uint8_t kStatusInvalidAdapter = 0x1D;
inline constexpr std::uint8_t kStatusLostDataNoBuffers = 0x20;
inline constexpr std::uint8_t kStatusLostDataInadequateSpace = 0x21;
inline constexpr std::uint8_t kStatusTransmitError = 0x23;
inline constexpr std::uint8_t kStatusInvalidFrameLength = 0x28;
inline constexpr std::uint8_t kStatusInvalidStationId = 0x40;
inline constexpr std::uint8_t kStatusInvalidSapValue = 0x43;
inline constexpr std::uint8_t kStatusInvalidRemoteAddress = 0x4F;
inline constexpr std::uint8_t kStatusCcbPointerField = 0x50;
inline constexpr std::uint8_t kStatusInvalidApplicationId = 0x52;
inline constexpr std::uint8_t kStatusAdapterNotInstalled = 0x5E;
inline constexpr std::uint8_t kStatusInvalidBufferAddress = 0x80;
inline constexpr std::uint8_t kStatusBufferAlreadyReleased = 0x81;
inline constexpr std::uint8_t kStatusPending = 0xFF;  // not yet completed

// ---------------------------------------------------------------------------
// What AcsLan answers for a submitted block (0: accepted).

using AcsLanStatus = std::int32_t;
inline constexpr AcsLanStatus kAcsLanAccepted = 0;
inline constexpr AcsLanStatus kAcsLanInvalidCcbPointer = 1;
inline constexpr AcsLanStatus kAcsLanCcbInError = 2;
inline constexpr AcsLanStatus kAcsLanChainedCcbInError = 3;
inline constexpr AcsLanStatus kAcsLanSystemError = 4;
inline constexpr AcsLanStatus kAcsLanSystemStatus = 5;
inline constexpr AcsLanStatus kAcsLanInvalidCommand = 6;

}  // namespace snmphelper::dlc
