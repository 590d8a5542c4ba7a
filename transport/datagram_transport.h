/* SPDX-License-Identifier: Apache-2.0 */
// The one abstraction through which the library moves SNMP datagrams: a
// connectionless transport attached to one local port, sending single
// datagrams to a printer named by an address text and receiving one datagram
// at a time within a timeout. UDP/IP, IPX and DLC implement it.
#pragma once

#include <cstdint>

#include "platform/winsock.h"
#include "transport/transport_status.h"

namespace snmphelper {

// Room a caller of Receive provides for the sender address: the largest form
// (IPX: 4-byte network, 6-byte node).
inline constexpr std::uint32_t kSenderAddressRoom = 10;

// Option flag: the transport may send to broadcast addresses.
inline constexpr std::uint32_t kTransportAllowBroadcast = 0x1;

class DatagramTransport {
public:
    // `attempts` (at least 1): tries per send and waits per receive;
    // `timeoutSeconds`: the length of one receive wait; `options`: flags.
    DatagramTransport(std::uint32_t attempts, std::int32_t timeoutSeconds, std::uint32_t options);
    virtual ~DatagramTransport();

    DatagramTransport(const DatagramTransport &) = delete;
    DatagramTransport &operator=(const DatagramTransport &) = delete;

    // Attaches to the local `port` (host order; 0 lets the platform choose).
    virtual TransportStatus Bind(std::uint16_t port) = 0;
    virtual TransportStatus SendBroadcast(const std::uint8_t *data, std::uint32_t length,
                                          std::uint16_t port) = 0;
    // Sends one datagram to `address` (the transport's address text) at `port`.
    virtual TransportStatus SendTo(const std::uint8_t *data, std::uint32_t length, const char *address,
                                   std::uint16_t port) = 0;
    // SendTo at the protocol's SNMP agent port.
    virtual TransportStatus SendToAgent(const std::uint8_t *data, std::uint32_t length,
                                        const char *address) = 0;
    // Waits for one datagram and reads it into `buffer` (room `size`). On
    // success writes its length, the sender's address bytes (room
    // kSenderAddressRoom) and port (host order), and answers Ok; on failure
    // writes none of them.
    virtual TransportStatus Receive(std::uint8_t *buffer, std::uint32_t size, std::uint32_t *length,
                                    std::uint8_t *senderAddress, std::uint16_t *senderPort) = 0;
    // Writes the host's own address bytes: Ok, NoLocalAddress when the
    // platform cannot tell it, Closed for a transport that is not open
    // (LocalAddressResult gives the numbers 1, 0 and 20009).
    virtual TransportStatus GetLocalAddress(std::uint8_t *address) = 0;

    std::uint32_t LocalPort() const { return localPort_; }
    bool IsOpen() const { return open_ != 0; }
    std::uint32_t Attempts() const { return attempts_; }
    std::int32_t TimeoutSeconds() const { return timeoutSeconds_; }
    std::uint32_t Options() const { return options_; }

protected:
    std::uint32_t localPort_ = 0;  // port of the last successful Bind, as requested
    winsock::SOCKET socket_ = winsock::INVALID_SOCKET;  // none open
    std::int32_t open_ = 0;
    std::uint32_t attempts_;
    std::int32_t timeoutSeconds_;
    std::uint32_t options_;
};

// 0-9, A-F and a-f give their value; any other character 255.
std::uint8_t HexDigitValue(char character);

// Writes `count` bytes, byte i from the characters 2i and 2i + 1 of `text`:
// (16 x first + second) modulo 256, digits valued by HexDigitValue. Reading
// stops at the terminating zero: every position from it on counts as a
// non-digit (255), so a short text never leads past its end. Null text
// counts as empty.
void HexToBytes(std::uint8_t *output, const char *text, std::uint32_t count);

}  // namespace snmphelper
