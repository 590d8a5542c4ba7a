/* SPDX-License-Identifier: Apache-2.0 */
// What the end-to-end transaction tests over IPX and DLC share: printer
// "prn" in a hive of its own, the protocol the store holds for it, the
// transports the channel created, one transaction's outcome, and captured
// frames written as a pcap file for tshark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snmphelper::test {

// A .reg DWORD value line.
std::string DwordLine(const char *name, int value);

struct LinkPrinter {
    int cProtocols;
    int pProtocol;
    std::string ipx;  // "IPX Address"; empty: none
    std::string mac;  // "MAC Address"
    std::string ip;   // "IP Address"
};

// A hive with printer `name` and one-second waits without retries.
std::string LinkPrinterHive(const std::string &name, const LinkPrinter &printer);

// The printer's stored `pProtocol`; 0xFFFFFFFF when it cannot be read.
std::uint32_t StoredProtocol(const std::string &printer);

// Records the protocol of every transport the channel creates from now on
// (process-wide), until StopRecordingTransports.
void StartRecordingTransports();
void StopRecordingTransports();
std::vector<std::uint32_t> RecordedTransports();

struct TransactOutcome {
    std::int32_t result = -1;
    std::string identifiers;  // the identifier buffer up to its first zero
    std::string values;       // the value text, when the transaction succeeded
};

// One HelperSNMPTransact of one identifier with 512-octet buffers.
TransactOutcome TransactOne(const std::string &printer, std::int32_t requestType, const std::string &oids,
                            const std::string &valueText = "");

// Frames as a pcap file (Ethernet link type) for tshark to read.
bool WritePcap(const std::string &path, const std::vector<std::vector<std::uint8_t>> &frames);

// The lines of `text`, without their line feeds.
std::vector<std::string> Lines(const std::string &text);

}  // namespace snmphelper::test
