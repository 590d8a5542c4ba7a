// SPDX-License-Identifier: Apache-2.0
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
#include "transact/transaction_engine.h"
#include "transport/ipx_transport.h"
#include "transport/udp_transport.h"
#include "transport/winsock_binding.h"

namespace snmphelper {
namespace {

// The probes' transports: one attempt, three seconds, no options.
constexpr std::uint32_t kProbeAttempts = 1;
constexpr std::int32_t kProbeTimeoutSeconds = 3;
constexpr std::uint8_t kKnownProtocols = kProtocolIpx | kProtocolIp | kProtocolDlc;

// The bindings of one set request, each cell's name and value in storage
// of its own. Once a name does not fit, the request stays failed.
class SetBindings {
public:
    // "<entry>.<column>.<index>" with a value of `type` whose 4 octets are
    // `value` (an INTEGER in host order, an address in network order).
    void Add(unsigned column, const char *index, std::int32_t type, const std::uint8_t *value) {
        if (count_ == kMostCells) {
            ok_ = false;
            return;
        }
        char *name = names_[count_];
        const int length = std::snprintf(name, kTrapOidListRoom, "%s.%u.%s", kTrapDestinationEntry, column, index);
        if (length < 0 || static_cast<std::size_t>(length) >= kTrapOidListRoom) {
            ok_ = false;
            return;
        }
        std::memcpy(values_[count_], value, kValueOctets);
        SnmpVarBind &binding = bindings_[count_++];
        binding.oid = name;
        binding.oidLength = static_cast<std::uint16_t>(length);
        binding.valueType = type;
        binding.value = values_[count_ - 1];
        binding.valueLength = kValueOctets;
    }
    void AddInteger(unsigned column, const char *index, std::int32_t number) {
        std::uint8_t octets[kValueOctets];
        std::memcpy(octets, &number, sizeof octets);
        Add(column, index, SNMP_VALUE_INTEGER, octets);
    }

    bool Ok() const { return ok_; }
    std::span<const SnmpVarBind> Bindings() const { return {bindings_, count_}; }

private:
    // The row request's columns 2, 3, 5 and 4; every value is 4 octets.
    static constexpr std::size_t kMostCells = 4;
    static constexpr std::uint32_t kValueOctets = 4;
    char names_[kMostCells][kTrapOidListRoom] = {};
    std::uint8_t values_[kMostCells][kValueOctets] = {};
    SnmpVarBind bindings_[kMostCells] = {};
    std::size_t count_ = 0;
    bool ok_ = true;
};

std::int32_t SendSet(const TrapRegistrationServices &services, const char *printerName,
                     const SetBindings &request) {
    if (!request.Ok()) return SNMP_RESULT_TRAP_REGISTRATION_FAILED;
    return services.transact(printerName, SNMP_REQUEST_SET, request.Bindings(),
                             PacketBufferSize(kTrapOidListRoom, kTrapValueListRoom));
}

std::int32_t SetRowState(const TrapRegistrationServices &services, const char *printerName, const char *index,
                         std::int32_t state) {
    SetBindings request;
    request.AddInteger(kTrapColumnRowState, index, state);
    return SendSet(services, printerName, request);
}

// Columns 2 (IP) and 3 (IPX) for the protocols that passed, then 5 and 4.
std::int32_t SendRow(const TrapRegistrationServices &services, const char *printerName, const char *index,
                     const TrapHostAddresses &host, std::uint8_t preferredProtocol) {
    SetBindings request;
    if ((host.protocols & kProtocolIp) != 0) request.Add(kTrapColumnIpAddress, index, SNMP_VALUE_IP_ADDRESS, host.ip);
    // The network number alone, octets as they are.
    if ((host.protocols & kProtocolIpx) != 0)
        request.Add(kTrapColumnIpxNetwork, index, SNMP_VALUE_OCTET_STRING, host.ipx);
    request.AddInteger(kTrapColumnProtocolSet, index, host.protocols);
    request.AddInteger(kTrapColumnProtocol, index, preferredProtocol);
    return SendSet(services, printerName, request);
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

std::int32_t TransactThroughEngine(const char *printerName, std::int32_t requestType,
                                   std::span<const SnmpVarBind> request, std::uint16_t messageRoom) {
    TransactionOptions options;
    options.messageRoom = messageRoom;
    TypedReply reply;
    const std::int32_t result = RunTypedTransaction(printerName, requestType, request, reply, options);
    if (reply.Record() == nullptr) return result;
    return ErrorStatusResult(reply.Record()->errorStatus);
}

TrapRegistrationServices DefaultTrapRegistrationServices() {
    return {TransactThroughEngine, FormatTrapRowIndex, ProbeTrapIpAddress, ProbeLocalIpxAddress};
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
