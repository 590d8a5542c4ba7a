/* SPDX-License-Identifier: Apache-2.0 */
// What a transport operation, and the channel above the transports, report
// inside the library. The numbers callers see (the 20001 series of the
// WinSock transports, the DLC interface's 1 to 7, GetLocalAddress's 1 for
// success) are given only where a result leaves for them: ResultCode and
// LocalAddressResult.
#pragma once

#include <cstdint>

namespace snmphelper {

// Results of the WinSock transports as callers receive them.
inline constexpr std::int32_t CPH_DATAGRAM_RECV_FAILED = 20001;   // a read failed, none succeeded after
inline constexpr std::int32_t CPH_DATAGRAM_RECV_TIMEOUT = 20002;  // nothing read, no read failed
inline constexpr std::int32_t CPH_DATAGRAM_SEND_FAILED = 20004;   // every send attempt failed
inline constexpr std::int32_t CPH_BIND_FAILED = 20006;            // binding the local port failed
inline constexpr std::int32_t CPH_SOCKET_CLOSED = 20009;          // not open, or connection aborted/reset

enum class TransportStatus : std::uint8_t {
    Ok,
    // The WinSock transports (UDP/IP, IPX), and the channel.
    ReceiveFailed,    // a read failed, none succeeded after
    ReceiveTimedOut,  // nothing read, no read failed
    SendFailed,       // every send attempt failed; also an unusable address text
    BindFailed,       // binding the local port failed
    Closed,           // not open, or the connection was aborted or reset
    // The DLC transport, as the DLC interface's commands answer.
    DlcFailed,         // unavailable, rejected, failed wait or status
    DlcNoMemory,       // block, table or pool memory
    DlcWrongAdapter,   // an adapter of another type
    DlcTimedOut,       // no frame within the receive timeout
    DlcFrameTooLarge,  // a frame larger than the caller's room
    DlcLinkFailure,    // READ error status or link failure
    // GetLocalAddress: the platform cannot tell the host's address.
    NoLocalAddress,
};

// The result number of `status` as the library's callers receive it from a
// send, a receive or a bind: 0 for Ok, the 20001 series for the WinSock
// transports, the DLC interface's numbers (dlc/dlc_access.h, which
// dlc/dlc_transport.cpp checks against these) for DLC. NoLocalAddress, which
// only GetLocalAddress reports, is 0.
constexpr std::int32_t ResultCode(TransportStatus status) {
    switch (status) {
    case TransportStatus::Ok: return 0;
    case TransportStatus::ReceiveFailed: return CPH_DATAGRAM_RECV_FAILED;
    case TransportStatus::ReceiveTimedOut: return CPH_DATAGRAM_RECV_TIMEOUT;
    case TransportStatus::SendFailed: return CPH_DATAGRAM_SEND_FAILED;
    case TransportStatus::BindFailed: return CPH_BIND_FAILED;
    case TransportStatus::Closed: return CPH_SOCKET_CLOSED;
    case TransportStatus::DlcFailed: return 1;
    case TransportStatus::DlcNoMemory: return 2;
    case TransportStatus::DlcWrongAdapter: return 3;
    case TransportStatus::DlcTimedOut: return 4;
    case TransportStatus::DlcFrameTooLarge: return 5;
    case TransportStatus::DlcLinkFailure: return 7;
    case TransportStatus::NoLocalAddress: return 0;
    }
    return 0;
}

// GetLocalAddress's own convention: 1 for Ok, 20009 for Closed, else 0.
constexpr std::int32_t LocalAddressResult(TransportStatus status) {
    if (status == TransportStatus::Ok) return 1;
    return status == TransportStatus::Closed ? CPH_SOCKET_CLOSED : 0;
}

}  // namespace snmphelper
