// The channel: carries one transaction's datagrams to one printer over the
// protocol the printer's key names, re-sending and switching protocol (in the
// registry) while sends fail or the printer stays silent.
#pragma once

#include <cstdint>

#include "snmphelper.h"
#include "transact/printer_config.h"
#include "transport/datagram_transport.h"

namespace snmphelper {

// Room of the saved printer name, terminator included.
inline constexpr std::uint32_t kChannelPrinterNameSize = 256;
// Room of the address text OpenTransport fills, terminator included.
inline constexpr std::uint32_t kChannelAddressSize = 128;
// Sends one SendRequest makes at most, each over a freshly opened transport.
inline constexpr int kChannelSendTries = 3;
// Passes one ReceiveReply makes at most; a protocol switch between passes.
inline constexpr int kChannelReceivePasses = 3;

// Where a transaction that another engine began stands when a channel takes
// it over: the sends its first SendRequest has already made (over a
// protocol since switched), and the passes its first ReceiveReply has
// already waited out. Each is used once, by the first call that counts it.
struct ChannelResume {
    int sendsMade = 0;
    int passesMade = 0;
};

// A plain record on the stack of one transaction. Set up with InitChannel,
// released with CloseChannel.
struct SnmpChannel {
    std::uint32_t protocolInUse;          // protocol code of the transport the last open created
    std::uint8_t *savedRequest;           // global-heap copy of the last request sent, or null
    std::uint32_t savedRequestLength;
    char savedPrinterName[kChannelPrinterNameSize];  // printer of the last successful send
    DatagramTransport *currentTransport;  // the transport the next receive uses; owned
    std::uint32_t receiveAttempts;  // extra receives in one pass of ReceiveReply
    std::int32_t timeoutSeconds;    // handed to every transport the channel creates
    std::uint32_t options;          // handed to every transport the channel creates
    // Whether a receive that ends a pass without a datagram is followed by a
    // re-send as every other failed receive is (InitChannel: true).
    bool resendAfterLastReceive;
    // Told of every datagram sent and received (InitChannel: nobody).
    SnmpDatagramObserver observer;
    void *observerContext;
    // Whether a datagram counts only when it comes from where the last
    // request went: the agent's address and port (IPX: network, node and
    // socket; DLC: adapter address and SAP). Others are dropped unseen.
    // InitChannel: false.
    bool checkSender;
    std::uint8_t peerAddress[kSenderAddressRoom];  // where the last request went; kept with checkSender only
    std::uint32_t peerAddressLength;
    std::uint16_t peerPort;
    // The printer's `IP Port`, read by the last open; 0: the agent port 161.
    std::uint16_t ipPort;
    ChannelResume resume;  // InitChannel: nothing made
};

// Datagrams from elsewhere one receive drops, with checkSender, before it
// counts as a receive that timed out: a flood of them ends the wait as
// silence would, rather than holding it for ever.
inline constexpr int kChannelDroppedPerReceive = 16;

// Stores the three settings and clears the current transport and the saved request;
// re-sends after every failed receive and tells no observer.
void InitChannel(SnmpChannel &channel, std::uint32_t receiveAttempts, std::int32_t timeoutSeconds,
                 std::uint32_t options);

// The protocol to use: `pProtocol` when it is a protocol code, else the first
// of DLC, IP, IPX in `cProtocols`; 0 when there is none.
std::uint32_t ChooseProtocol(const PrinterAddressRecord &record);

// The record's address text for `protocol` (a field that may lack its
// terminator, kAddressFieldSize long).
const char *AddressOf(const PrinterAddressRecord &record, std::uint32_t protocol);

// Copies an address field that may lack its terminator, cut to fit `room`.
void CopyAddressText(char *destination, std::size_t room, const char *source, std::size_t sourceRoom);

// Reads the printer's key and creates the transport of its protocol (`pProtocol`,
// else the first of DLC, IP, IPX that `cProtocols` holds), constructed with one
// attempt, `timeoutSeconds` and `options`. Copies the protocol's address text
// into `address` (room kChannelAddressSize) and records the protocol in use.
// Null when the key cannot be read, no protocol is usable or the transport
// cannot be allocated. The caller owns the transport. The printer's
// `IP Port` goes to channel.ipPort.
DatagramTransport *OpenTransport(SnmpChannel &channel, const char *printerName, char *address,
                                 std::int32_t timeoutSeconds, std::uint32_t options);

// Sends `request` to the printer over a freshly opened transport, at most
// three times, switching the printer's protocol after each failed send. On
// success the transport stays open for the reply and a copy of the request
// is kept for re-sending. Ok, SendFailed when no transport can be opened, or
// the last failing transport's status.
TransportStatus SendRequest(SnmpChannel &channel, const std::uint8_t *request, std::uint32_t length,
                            const char *printerName);

// Waits for one datagram (with checkSender: one from the printer's agent):
// up to receiveAttempts + 1 receives per pass, the
// saved request re-sent after each failed one, and between passes a protocol
// switch; at most three passes. Without resendAfterLastReceive the last
// receive of a pass is followed by the switch alone. `senderAddress` needs kSenderAddressRoom
// bytes. Ok, ReceiveFailed without a transport, or the last receive's
// status.
TransportStatus ReceiveReply(SnmpChannel &channel, std::uint8_t *buffer, std::uint32_t room,
                             std::uint32_t *length, std::uint8_t *senderAddress, std::uint16_t *senderPort);

// Destroys the current transport and releases the saved request.
void CloseChannel(SnmpChannel &channel);

// Tests: called with the protocol and the timeout of every transport the
// channel creates (null: nobody is told). Process-wide.
using TransportCreatedObserver = void (*)(std::uint32_t protocol, std::int32_t timeoutSeconds);
void SetTransportCreatedObserver(TransportCreatedObserver observer);

}  // namespace snmphelper
