#include "transact/channel.h"

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "dlc/dlc_transport.h"
#include "platform/heap.h"
#include "transact/printer_config.h"
#include "transport/ipx_transport.h"
#include "transport/udp_transport.h"

namespace snmphelper {
namespace {

// Every transport a channel creates tries a send, and waits for a datagram,
// once per call: the channel does its own re-sending.
constexpr std::uint32_t kTransportAttempts = 1;

std::atomic<TransportCreatedObserver> transportCreatedObserver{nullptr};

}  // namespace

std::uint32_t ChooseProtocol(const PrinterAddressRecord &record) {
    switch (record.pProtocol) {
        case kProtocolIpx:
        case kProtocolIp:
        case kProtocolDlc:
            return record.pProtocol;
        default:
            break;
    }
    for (std::uint8_t protocol : {kProtocolDlc, kProtocolIp, kProtocolIpx}) {
        if ((record.cProtocols & protocol) != 0) return protocol;
    }
    return 0;
}

namespace {

DatagramTransport *CreateTransport(std::uint32_t protocol, std::int32_t timeoutSeconds,
                                   std::uint32_t options) {
    switch (protocol) {
        case kProtocolDlc:
            return new (std::nothrow) DlcTransport(kTransportAttempts, timeoutSeconds, options);
        case kProtocolIp:
            return new (std::nothrow) UdpTransport(kTransportAttempts, timeoutSeconds, options);
        case kProtocolIpx:
            return new (std::nothrow) IpxTransport(kTransportAttempts, timeoutSeconds, options);
        default:
            return nullptr;
    }
}

}  // namespace

const char *AddressOf(const PrinterAddressRecord &record, std::uint32_t protocol) {
    switch (protocol) {
        case kProtocolDlc:
            return record.macAddress;
        case kProtocolIp:
            return record.ipAddress;
        default:
            return record.ipxAddress;
    }
}

void CopyAddressText(char *destination, std::size_t room, const char *source, std::size_t sourceRoom) {
    std::size_t length = 0;
    while (length < sourceRoom && length + 1 < room && source[length] != '\0') ++length;
    std::memmove(destination, source, length);
    destination[length] = '\0';
}

namespace {

void DestroyCurrentTransport(SnmpChannel &channel) {
    delete channel.currentTransport;
    channel.currentTransport = nullptr;
}

// Keeps a copy of what was just sent, for the re-sends while a reply is
// awaited. A name too long for the record is not kept: no key holds it.
void SaveRequest(SnmpChannel &channel, const std::uint8_t *request, std::uint32_t length,
                 const char *printerName) {
    if (request == channel.savedRequest) return;
    platform::HeapFree(channel.savedRequest);
    channel.savedRequest = nullptr;
    channel.savedRequestLength = 0;
    const std::size_t nameLength = std::strlen(printerName);
    if (nameLength >= kChannelPrinterNameSize) return;
    auto *copy = static_cast<std::uint8_t *>(platform::HeapAllocZero(length));
    if (copy == nullptr) return;
    if (length != 0) std::memcpy(copy, request, length);
    channel.savedRequest = copy;
    channel.savedRequestLength = length;
    std::memmove(channel.savedPrinterName, printerName, nameLength + 1);
}

// The UDP port of the printer's agent: its `IP Port`, else 161.
std::uint16_t AgentPort(const SnmpChannel &channel) {
    return channel.ipPort != 0 ? channel.ipPort : kSnmpAgentPort;
}

// Where a request to `address` over `protocol` goes, in the form the
// transport's Receive gives a sender: the address bytes each transport makes
// of the text, and its agent port.
void RememberPeer(SnmpChannel &channel, const char *address) {
    switch (channel.protocolInUse) {
        case kProtocolIp: {
            const std::uint32_t networkAddress = winsock::inet_addr(address);
            std::memcpy(channel.peerAddress, &networkAddress, sizeof networkAddress);
            channel.peerAddressLength = sizeof networkAddress;
            channel.peerPort = AgentPort(channel);
            break;
        }
        case kProtocolIpx:
            channel.peerAddressLength = kSenderAddressRoom;  // network and node
            HexToBytes(channel.peerAddress, address, channel.peerAddressLength);
            channel.peerPort = kIpxAgentSocket;
            break;
        default:
            channel.peerAddressLength = dlc::kNodeAddressLength;
            HexToBytes(channel.peerAddress, address, channel.peerAddressLength);
            channel.peerPort = kDlcAgentSap;
            break;
    }
}

bool FromPeer(const SnmpChannel &channel, const std::uint8_t *senderAddress, std::uint16_t senderPort) {
    return senderPort == channel.peerPort &&
           std::memcmp(senderAddress, channel.peerAddress, channel.peerAddressLength) == 0;
}

// One receive on the current transport; with checkSender, datagrams from
// anyone but the peer are dropped and the wait goes on.
TransportStatus ReceiveFromPeer(SnmpChannel &channel, std::uint8_t *buffer, std::uint32_t room,
                                std::uint32_t *length, std::uint8_t *senderAddress,
                                std::uint16_t *senderPort) {
    if (!channel.checkSender) {
        return channel.currentTransport->Receive(buffer, room, length, senderAddress, senderPort);
    }
    std::uint8_t address[kSenderAddressRoom] = {};
    std::uint16_t port = 0;
    for (int dropped = 0; dropped < kChannelDroppedPerReceive; ++dropped) {
        const TransportStatus result =
            channel.currentTransport->Receive(buffer, room, length, address, &port);
        if (result != TransportStatus::Ok || FromPeer(channel, address, port)) {
            if (senderAddress != nullptr) std::memcpy(senderAddress, address, sizeof address);
            if (senderPort != nullptr) *senderPort = port;
            return result;
        }
    }
    return channel.protocolInUse == kProtocolDlc ? TransportStatus::DlcTimedOut
                                                 : TransportStatus::ReceiveTimedOut;
}

void Observe(const SnmpChannel &channel, std::int32_t direction, const std::uint8_t *datagram,
             std::uint32_t length) {
    if (channel.observer != nullptr) {
        channel.observer(channel.observerContext, direction, channel.protocolInUse, datagram, length);
    }
}

bool HasSavedRequest(const SnmpChannel &channel) {
    return channel.savedRequest != nullptr && channel.savedRequestLength != 0;
}

// The re-send while waiting: the saved request to the saved printer. The
// name is copied first, since SendRequest may replace the saved fields.
void ResendSavedRequest(SnmpChannel &channel) {
    char printerName[kChannelPrinterNameSize];
    std::memcpy(printerName, channel.savedPrinterName, sizeof printerName);
    SendRequest(channel, channel.savedRequest, channel.savedRequestLength, printerName);
}

}  // namespace

void InitChannel(SnmpChannel &channel, std::uint32_t receiveAttempts, std::int32_t timeoutSeconds,
                 std::uint32_t options) {
    channel.protocolInUse = 0;
    channel.savedRequest = nullptr;
    channel.savedRequestLength = 0;
    channel.savedPrinterName[0] = '\0';
    channel.currentTransport = nullptr;
    channel.receiveAttempts = receiveAttempts;
    channel.timeoutSeconds = timeoutSeconds;
    channel.options = options;
    channel.resendAfterLastReceive = true;
    channel.observer = nullptr;
    channel.observerContext = nullptr;
    channel.checkSender = false;
    std::memset(channel.peerAddress, 0, sizeof channel.peerAddress);
    channel.peerAddressLength = 0;
    channel.peerPort = 0;
    channel.ipPort = 0;
    channel.resume = {};
}

DatagramTransport *OpenTransport(SnmpChannel &channel, const char *printerName, char *address,
                                 std::int32_t timeoutSeconds, std::uint32_t options) {
    PrinterAddressRecord record;
    InitPrinterAddressRecord(&record);
    PrinterExtras extras;
    if (ReadPrinterSettings(printerName, &record, &extras) != 0) return nullptr;
    channel.ipPort = extras.ipPort;
    const std::uint32_t protocol = ChooseProtocol(record);
    if (protocol == 0) return nullptr;

    DatagramTransport *transport = CreateTransport(protocol, timeoutSeconds, options);
    if (transport == nullptr) return nullptr;
    CopyAddressText(address, kChannelAddressSize, AddressOf(record, protocol), kAddressFieldSize);
    channel.protocolInUse = protocol;
    if (TransportCreatedObserver observer = transportCreatedObserver.load(); observer != nullptr) {
        observer(protocol, timeoutSeconds);
    }
    return transport;
}

TransportStatus SendRequest(SnmpChannel &channel, const std::uint8_t *request, std::uint32_t length,
                            const char *printerName) {
    if (printerName == nullptr) return TransportStatus::SendFailed;
    TransportStatus result = TransportStatus::SendFailed;
    for (int attempt = std::exchange(channel.resume.sendsMade, 0); attempt < kChannelSendTries; ++attempt) {
        DestroyCurrentTransport(channel);
        char address[kChannelAddressSize];
        channel.currentTransport =
            OpenTransport(channel, printerName, address, channel.timeoutSeconds, channel.options);
        if (channel.currentTransport == nullptr) return TransportStatus::SendFailed;
        // A failed bind shows as Closed from the send.
        channel.currentTransport->Bind(0);
        result = channel.protocolInUse == kProtocolIp && channel.ipPort != 0
                     ? channel.currentTransport->SendTo(request, length, address, channel.ipPort)
                     : channel.currentTransport->SendToAgent(request, length, address);
        if (result == TransportStatus::Ok) {
            // Only the sender check reads it, and parsing the address is not free.
            if (channel.checkSender) RememberPeer(channel, address);
            Observe(channel, SNMP_DATAGRAM_SENT, request, length);
            SaveRequest(channel, request, length, printerName);
            return TransportStatus::Ok;
        }
        // The next open reads the protocol switched to.
        if (SwitchProtocol(printerName, channel.protocolInUse) == 1) return result;
    }
    return result;
}

TransportStatus ReceiveReply(SnmpChannel &channel, std::uint8_t *buffer, std::uint32_t room,
                             std::uint32_t *length, std::uint8_t *senderAddress, std::uint16_t *senderPort) {
    if (channel.currentTransport == nullptr) return TransportStatus::ReceiveFailed;
    TransportStatus result = TransportStatus::ReceiveFailed;
    for (int pass = std::exchange(channel.resume.passesMade, 0); pass < kChannelReceivePasses; ++pass) {
        for (std::uint32_t receive = 0; receive <= channel.receiveAttempts; ++receive) {
            if (channel.currentTransport == nullptr) return TransportStatus::ReceiveFailed;
            result = ReceiveFromPeer(channel, buffer, room, length, senderAddress, senderPort);
            if (result == TransportStatus::Ok) {
                Observe(channel, SNMP_DATAGRAM_RECEIVED, buffer, *length);
                break;
            }
            if (receive == channel.receiveAttempts && !channel.resendAfterLastReceive) break;
            // Every re-send opens a fresh transport: a late reply to the
            // previous one is not seen. Without a saved copy (it could not be
            // allocated) there is nothing to re-send: wait on the same one.
            if (HasSavedRequest(channel)) ResendSavedRequest(channel);
        }
        if (result == TransportStatus::Ok || !HasSavedRequest(channel)) return result;
        DestroyCurrentTransport(channel);
        if (SwitchProtocol(channel.savedPrinterName, channel.protocolInUse) == 1) return result;
        ResendSavedRequest(channel);
    }
    return result;
}

void CloseChannel(SnmpChannel &channel) {
    DestroyCurrentTransport(channel);
    platform::HeapFree(channel.savedRequest);
    channel.savedRequest = nullptr;
    channel.savedRequestLength = 0;
}

void SetTransportCreatedObserver(TransportCreatedObserver observer) {
    transportCreatedObserver.store(observer);
}

}  // namespace snmphelper
