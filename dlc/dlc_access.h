/* SPDX-License-Identifier: Apache-2.0 */
// Access to the platform's DLC interface, prepared once per process: the
// interface library bound at run time, its AcsLan entry, the adapter's node
// address and the application id every command block carries. Written while
// the library loads (InitDlcAccess), only read afterwards.
#pragma once

#include <cstdint>

#include "platform/dlc_interface.h"

namespace snmphelper {

// Results of the DLC wrappers and the DLC transport (not the 20001 series).
inline constexpr std::int32_t kDlcSuccess = 0;
inline constexpr std::int32_t kDlcFailed = 1;         // unavailable, rejected, failed wait or status
inline constexpr std::int32_t kDlcNoMemory = 2;       // block, table or pool memory
inline constexpr std::int32_t kDlcWrongAdapter = 3;   // adapter type other than kDlcAdapterType
inline constexpr std::int32_t kDlcTimedOut = 4;       // no frame within the receive timeout
inline constexpr std::int32_t kDlcFrameTooLarge = 5;  // a frame larger than the caller's room
inline constexpr std::int32_t kDlcLinkFailure = 7;    // READ error status or link failure

// The only adapter type the library works with.
inline constexpr std::uint16_t kDlcAdapterType = 0x0100;

// The application id DIR.OPEN.ADAPTER returned, carried by every later
// command block. Owned here: no configuration library provides it.
extern std::uint8_t bgApplId;

// Prepares DLC access at library load: binds the interface, opens the
// adapter, reads its status and creates the buffer pool. 0 when DLC is
// usable, otherwise a DLC result (1: unavailable or a command failed, 2: out
// of memory, 3: wrong adapter type). The library loads whatever it answers.
// A second call does nothing and answers 1.
int InitDlcAccess();

// Where InitDlcAccess stopped, kept for whoever explains DLC's state (the
// command-line tool): the result alone does not tell the steps apart.
enum class DlcInitStage : std::uint8_t {
    kNotRun,
    kNoInterfaceLibrary,  // DLCAPI.DLL could not be loaded
    kNoAcsLan,            // it has no AcsLan entry
    kInterfaceFaulted,    // the adapter open raised an exception
    kAdapterOpen,         // DIR.OPEN.ADAPTER was rejected or failed
    kAdapterStatus,       // DIR.STATUS was rejected or failed
    kWrongAdapterType,    // the adapter's type is not kDlcAdapterType
    kBufferPool,          // BUFFER.CREATE was rejected or failed
    kReady,
};

struct DlcInitReport {
    DlcInitStage stage = DlcInitStage::kNotRun;
    int result = kDlcFailed;       // what InitDlcAccess answered
    std::uint8_t openStatus = 0;   // DIR.OPEN.ADAPTER's final status byte
};

DlcInitReport DlcInitOutcome();

// The bound AcsLan entry; null while DLC is unavailable.
dlc::AcsLanEntry DlcAcsLan();
inline bool DlcAvailable() { return DlcAcsLan() != nullptr; }

// The adapter's node address in the library's (transmission) bit order, all
// zero until DIR.STATUS succeeded.
const std::uint8_t *DlcAdapterNodeAddress();
void SetDlcAdapterNodeAddress(const std::uint8_t *statusNodeAddress);

// Unbinds the interface after it raised an exception: DLC unavailable from
// then on. The library stays loaded.
void DisableDlcAccess();

// Reverses the bit order of each of the 6 bytes of `address` in place
// (Ethernet order to Token Ring order and back): 0x01 becomes 0x80.
void ReverseAddressBits(std::uint8_t *address);

// How long the library waits for a command the interface accepted. The
// interface is meant to complete every accepted command; a bound turns one
// that never completes into a failed wait (result 1), and its block is then
// left to the interface.
inline constexpr std::uint32_t kDlcCommandWaitMs = 30000;
inline constexpr std::uint32_t kDlcCloseSapWaitMs = 10000;
std::uint32_t DlcCommandWaitMs();
std::uint32_t DlcCloseSapWaitMs();

// Tests: other wait bounds (0 for either restores its default).
void SetDlcWaitLimitsForTests(std::uint32_t commandWaitMs, std::uint32_t closeSapWaitMs);

// Tests: forgets the process-wide state (without unloading the interface),
// so that InitDlcAccess may run again against another stand-in interface.
void ResetDlcAccessForTests();

}  // namespace snmphelper
