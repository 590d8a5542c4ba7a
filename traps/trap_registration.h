/* SPDX-License-Identifier: Apache-2.0 */
// Registration of this host in a printer's trap destination table
// (HelperSNMPRegisterTrapDestination, include/snmphelper.h): the row index
// the host is known by, the address probes, and the three set requests,
// each given to the transaction engine as typed bindings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "snmphelper.h"

namespace snmphelper {

// The table's entry; a cell is "<entry>.<column>.<row index>".
inline constexpr char kTrapDestinationEntry[] = "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1";
inline constexpr unsigned kTrapColumnIpAddress = 2;   // IpAddress
inline constexpr unsigned kTrapColumnIpxNetwork = 3;  // OCTET STRING of 4 octets
inline constexpr unsigned kTrapColumnProtocol = 4;    // INTEGER, the printer's pProtocol
inline constexpr unsigned kTrapColumnProtocolSet = 5; // INTEGER, the protocols that passed their probes
inline constexpr unsigned kTrapColumnRowState = 7;    // INTEGER, see below

inline constexpr std::int32_t kTrapRowComplete = 1;
inline constexpr std::int32_t kTrapRowBeingFilled = 2;
inline constexpr std::int32_t kTrapRowWithdraw = 4;

// The action that registers; every other value withdraws.
inline constexpr std::int32_t kTrapActionRegister = 1;

// Room of the row index text; the rooms a registration's requests have
// always been sized by: a cell's name fits kTrapOidListRoom, and a message
// PacketBufferSize of the two.
inline constexpr std::size_t kTrapRowIndexRoom = 256;
inline constexpr std::uint32_t kTrapOidListRoom = 512;
inline constexpr std::uint32_t kTrapValueListRoom = 256;

// Writes this host's row index, the six node bytes of a fresh GUID as
// decimal numbers joined by dots ("0.0.76.16.32.255"), into `text` (room
// `room`). False, with `text` empty when room allows, when the platform
// gives no GUID or the room is too small.
bool FormatTrapRowIndex(char *text, std::size_t room);

// The host's IPv4 address (4 bytes, network order) as a UDP transport
// reports it, the first address of the host's name; false when it cannot.
bool ProbeLocalIpAddress(std::uint8_t *address);

// The IPv4 address a printer at `printerAddress` (dotted decimal) is to
// send its traps to: the first address of the host's name, unless that is a
// loopback address and the printer's is not (Debian names the host
// 127.0.1.1 in /etc/hosts); then the address this host sends from to reach
// the printer. False when neither can be had.
bool ProbeTrapIpAddress(const char *printerAddress, std::uint8_t *address);

// The host's IPX address (4-byte network, 6-byte node) of an IPX transport
// bound to any socket; false when it cannot.
bool ProbeLocalIpxAddress(std::uint8_t *address);

// One request of `request`'s bindings to the printer through the typed
// transaction engine, the message at most `messageRoom` octets. The result
// is the engine's, or the reply's error-status as HelperSNMPTransact judges
// it (genErr counts as success).
std::int32_t TransactThroughEngine(const char *printerName, std::int32_t requestType,
                                   std::span<const SnmpVarBind> request, std::uint16_t messageRoom);

// What a registration uses of the rest of the system; tests replace parts.
struct TrapRegistrationServices {
    decltype(&TransactThroughEngine) transact;
    bool (*rowIndex)(char *text, std::size_t room);
    bool (*probeIp)(const char *printerAddress, std::uint8_t *address);
    bool (*probeIpx)(std::uint8_t *address);
};

// TransactThroughEngine, FormatTrapRowIndex, ProbeTrapIpAddress and
// ProbeLocalIpxAddress.
TrapRegistrationServices DefaultTrapRegistrationServices();

// What the probes learned, and so what a registration writes.
struct TrapHostAddresses {
    std::uint8_t protocols = 0;  // the bits of cProtocols whose probe passed, and DLC
    std::uint8_t ip[4] = {};     // network order; meaningful with kProtocolIp
    std::uint8_t ipx[10] = {};   // network, node; meaningful with kProtocolIpx
};

// HelperSNMPRegisterTrapDestination with the given services. When `host`
// is given, it receives what the probes learned (protocols 0 when the call
// ended before them).
std::int32_t RegisterTrapDestination(std::int32_t action, const char *printerName,
                                     const TrapRegistrationServices &services,
                                     TrapHostAddresses *host = nullptr);

}  // namespace snmphelper
