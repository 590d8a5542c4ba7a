// HelperSNMPRegisterTrapDestination: writes, or withdraws, this host's row
// in a printer's trap destination table with three set requests: the row's
// state set to "being filled", the address and protocol columns, and the
// state set to "complete" (or "withdraw").
#include "traps/trap_registration.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/address_text.h"
#include "platform/guid.h"
#include "transact/printer_config.h"
#include "transport/ipx_transport.h"
#include "transport/udp_transport.h"
#include "transport/winsock_binding.h"

namespace snmphelper {
namespace {

// The probes' transports: one attempt, three seconds, no options.
constexpr std::uint32_t kProbeAttempts = 1;
constexpr std::int32_t kProbeTimeoutSeconds = 3;
constexpr std::uint32_t kIpxNetworkBytes = 4;
constexpr std::size_t kIpTextRoom = 16;  // "255.255.255.255" and its zero
constexpr std::uint8_t kKnownProtocols = kProtocolIpx | kProtocolIp | kProtocolDlc;

// A comma-joined list built into a caller's buffer; items are copied by
// length, so an OCTET STRING value may hold zero bytes and commas. Once an
// item does not fit, the list stays failed.
class JoinedList {
public:
    JoinedList(char *buffer, std::size_t room) : buffer_(buffer), room_(room) {
        std::memset(buffer_, 0, room_);
    }

    // Starts a new item (with its separating comma after the first).
    void NextItem() {
        if (items_++ != 0) Put(",", 1);
    }
    void Put(const char *data, std::size_t length) {
        // One byte always stays for the terminating zero.
        if (!ok_ || length >= room_ - used_) {
            ok_ = false;
            return;
        }
        std::memcpy(buffer_ + used_, data, length);
        used_ += length;
    }
    void Put(const char *text) { Put(text, std::strlen(text)); }
    void PutNumber(long number) {
        char digits[24];
        const int length = std::snprintf(digits, sizeof digits, "%ld", number);
        Put(digits, static_cast<std::size_t>(length));
    }

    bool Ok() const { return ok_; }

private:
    char *buffer_;
    std::size_t room_;
    std::size_t used_ = 0;
    unsigned items_ = 0;
    bool ok_ = true;
};

// "<entry>.<column>.<index>" as the next item of `oids`.
void PutCell(JoinedList &oids, unsigned column, const char *index) {
    char cell[kTrapOidListRoom];
    const int length = std::snprintf(cell, sizeof cell, "%s.%u.%s", kTrapDestinationEntry, column, index);
    oids.NextItem();
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof cell) {
        oids.Put(cell, sizeof cell);  // cannot fit: fails the list
        return;
    }
    oids.Put(cell, static_cast<std::size_t>(length));
}

void PutInteger(JoinedList &values, long number) {
    values.NextItem();
    values.Put("1,");
    values.PutNumber(number);
}

// One set request of `count` variables from the two lists built in `oids`
// and `values`; the value size is the full room for every request.
std::int32_t SendSet(const TrapRegistrationServices &services, const char *printerName, char *oidList,
                     char *valueList, std::uint32_t count) {
    std::uint32_t valueSize = kTrapValueListRoom;
    return services.transact(printerName, SNMP_REQUEST_SET, oidList, kTrapOidListRoom, valueList, &valueSize,
                             count);
}

std::int32_t SetRowState(const TrapRegistrationServices &services, const char *printerName, const char *index,
                         std::int32_t state) {
    char oidList[kTrapOidListRoom];
    char valueList[kTrapValueListRoom];
    JoinedList oids(oidList, sizeof oidList);
    JoinedList values(valueList, sizeof valueList);
    PutCell(oids, kTrapColumnRowState, index);
    PutInteger(values, state);
    if (!oids.Ok() || !values.Ok()) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
    return SendSet(services, printerName, oidList, valueList, 1);
}

// Columns 2 (IP) and 3 (IPX) for the protocols that passed, then 5 and 4.
std::int32_t SendRow(const TrapRegistrationServices &services, const char *printerName, const char *index,
                     const TrapHostAddresses &host, std::uint8_t preferredProtocol) {
    char oidList[kTrapOidListRoom];
    char valueList[kTrapValueListRoom];
    JoinedList oids(oidList, sizeof oidList);
    JoinedList values(valueList, sizeof valueList);
    std::uint32_t count = 2;
    if ((host.protocols & kProtocolIp) != 0) {
        char text[kIpTextRoom];
        FormatIpAddressText(host.ip, text);
        PutCell(oids, kTrapColumnIpAddress, index);
        values.NextItem();
        values.Put("3,");
        values.Put(text);
        ++count;
    }
    if ((host.protocols & kProtocolIpx) != 0) {
        // Taken by its length: the network number may hold 00 and 2C octets.
        PutCell(oids, kTrapColumnIpxNetwork, index);
        values.NextItem();
        values.Put("2,4,");
        values.Put(reinterpret_cast<const char *>(host.ipx), kIpxNetworkBytes);
        ++count;
    }
    PutCell(oids, kTrapColumnProtocolSet, index);
    PutInteger(values, host.protocols);
    PutCell(oids, kTrapColumnProtocol, index);
    PutInteger(values, preferredProtocol);
    if (!oids.Ok() || !values.Ok()) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
    return SendSet(services, printerName, oidList, valueList, count);
}

TrapHostAddresses ProbeHost(const TrapRegistrationServices &services, const PrinterAddressRecord &record) {
    TrapHostAddresses host;
    host.protocols = record.cProtocols & kKnownProtocols;
    if ((host.protocols & kProtocolIp) != 0 && !services.probeIp(record.ipAddress, host.ip))
        host.protocols = static_cast<std::uint8_t>(host.protocols & ~kProtocolIp);
    if ((host.protocols & kProtocolIpx) != 0 && !services.probeIpx(host.ipx))
        host.protocols = static_cast<std::uint8_t>(host.protocols & ~kProtocolIpx);
    return host;
}

const std::array<std::uint8_t, 4> kNoAddress{255, 255, 255, 255};  // INADDR_NONE

// 127.0.0.0/8 (RFC 1122 3.2.1.3).
bool IsLoopbackAddress(const std::uint8_t *address) { return address[0] == 127; }

// Dotted decimal with 1 to 3 digits per part, as inet_ntoa writes it.
bool IsDottedAddressText(const char *text) {
    if (text == nullptr) return false;
    const std::size_t length = strnlen(text, kIpTextRoom);
    if (length == 0 || length >= kIpTextRoom) return false;
    unsigned parts = 1;
    unsigned digits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '.') {
            if (digits == 0) return false;
            ++parts;
            digits = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && ++digits <= 3) {
            continue;
        } else {
            return false;
        }
    }
    return parts == 4 && digits != 0;
}

}  // namespace

bool FormatTrapRowIndex(char *text, std::size_t room) {
    if (text == nullptr || room == 0) return false;
    text[0] = '\0';
    platform::Guid guid{};
    if (!platform::CreateGuid(&guid)) return false;
    const std::uint8_t *node = guid.data4 + platform::kGuidNodeOffset;
    const int length = std::snprintf(text, room, "%u.%u.%u.%u.%u.%u", node[0], node[1], node[2], node[3],
                                     node[4], node[5]);
    if (length < 0 || static_cast<std::size_t>(length) >= room) {
        text[0] = '\0';
        return false;
    }
    return true;
}

bool ProbeLocalIpAddress(std::uint8_t *address) {
    // Asked before any Bind: the address comes from the host's name.
    std::unique_ptr<DatagramTransport> transport(
        new (std::nothrow) UdpTransport(kProbeAttempts, kProbeTimeoutSeconds, 0));
    return transport != nullptr && transport->GetLocalAddress(address) == TransportStatus::Ok;
}

bool ProbeTrapIpAddress(const char *printerAddress, std::uint8_t *address) {
    std::unique_ptr<UdpTransport> transport(new (std::nothrow) UdpTransport(kProbeAttempts, kProbeTimeoutSeconds, 0));
    if (transport == nullptr || transport->GetLocalAddress(address) != TransportStatus::Ok) return false;
    if (!IsLoopbackAddress(address)) return true;
    // A printer address inet_addr cannot read is the channel's to refuse.
    const std::array<std::uint8_t, 4> printer = platform::Ipv4AddressFromText(printerAddress);
    if (printer == kNoAddress || IsLoopbackAddress(printer.data())) return true;
    // A printer told to send to its own loopback never reaches us: use the
    // address the route to the printer leaves from, or none at all.
    return transport->GetRouteAddress(printerAddress, address) == TransportStatus::Ok &&
           !IsLoopbackAddress(address);
}

bool ProbeLocalIpxAddress(std::uint8_t *address) {
    std::unique_ptr<DatagramTransport> transport(
        new (std::nothrow) IpxTransport(kProbeAttempts, kProbeTimeoutSeconds, 0));
    if (transport == nullptr) return false;
    // A failed Bind closes the transport, and the query below then fails.
    transport->Bind(0);
    return transport->GetLocalAddress(address) == TransportStatus::Ok;
}

void FormatIpAddressText(const std::uint8_t *address, char *text) {
    winsock::in_addr value{};
    std::memcpy(&value.s_addr, address, sizeof value.s_addr);
    WinsockBinding binding{};
    binding.Load();
    // inet_ntoa's text lives in the WinSock library: copy it before the
    // binding lets the library go. Without a usable text the printer still
    // gets this host's real address, written here in the same form.
    const char *converted = binding.inet_ntoa(value);
    const bool usable = IsDottedAddressText(converted) &&
                        platform::Ipv4AddressFromText(converted) ==
                            std::array<std::uint8_t, 4>{address[0], address[1], address[2], address[3]};
    if (usable) std::memcpy(text, converted, strnlen(converted, kIpTextRoom) + 1);
    binding.Unload();
    if (!usable) std::snprintf(text, kIpTextRoom, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
}

TrapRegistrationServices DefaultTrapRegistrationServices() {
    return {HelperSNMPTransact, FormatTrapRowIndex, ProbeTrapIpAddress, ProbeLocalIpxAddress};
}

std::int32_t RegisterTrapDestination(std::int32_t action, const char *printerName,
                                     const TrapRegistrationServices &services, TrapHostAddresses *learned) {
    if (learned != nullptr) *learned = {};
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    if (ReadPrinterAddressRecord(printerName, &record) != 0) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
    char index[kTrapRowIndexRoom];
    // Without an index no row can be named: nothing is sent.
    if (!services.rowIndex(index, sizeof index)) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
    const TrapHostAddresses host = ProbeHost(services, record);
    if (learned != nullptr) *learned = host;
    if (host.protocols == 0) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;

    std::int32_t rowResult = SNMP_RESULT_OK;
    if (action == kTrapActionRegister) {
        if (SetRowState(services, printerName, index, kTrapRowBeingFilled) != SNMP_RESULT_OK)
            return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
        rowResult = SendRow(services, printerName, index, host, record.pProtocol);
    }
    const bool complete = action == kTrapActionRegister && rowResult == SNMP_RESULT_OK;
    const std::int32_t finalResult =
        SetRowState(services, printerName, index, complete ? kTrapRowComplete : kTrapRowWithdraw);
    // A registration whose row was refused has failed even when the printer
    // then accepts the withdrawal: say why, rather than 0.
    return rowResult != SNMP_RESULT_OK ? rowResult : finalResult;
}

}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPRegisterTrapDestination(int32_t action,
                                                                                   const char *printerName,
                                                                                   uint32_t reserved1,
                                                                                   uint32_t reserved2) {
    (void)reserved1;
    (void)reserved2;
    return RegisterTrapDestination(action, printerName, DefaultTrapRegistrationServices());
}
