// SPDX-License-Identifier: Apache-2.0
// Untrusted datagrams through the printer simulator's request decoder and its
// agent, as the server hands them over. A message the decoder accepts
// encodes to as many octets as EncodedSize says, which decode to the same
// message; an answer fits the agent's size limit and decodes as the
// GetResponse to the request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "fuzz/ber_mutator.h"
#include "tools/printer-sim/agent.h"
#include "tools/printer-sim/default_printer.h"
#include "tools/printer-sim/mib_file.h"
#include "tools/printer-sim/printer_mib.h"

using namespace printersim;

namespace {

// The built-in printer, read once.
MibStore &Printer() {
    static MibStore store = [] {
        MibStore objects;
        std::string error;
        if (!LoadObjects(DefaultPrinterObjects(), "built-in", objects, error) ||
            !LoadObjects(PrinterMibObjects(), "built-in", objects, error)) {
            std::abort();
        }
        return objects;
    }();
    return store;
}

bool SameMessage(const Message &a, const Message &b) {
    if (a.version != b.version || a.community != b.community || a.pduType != b.pduType ||
        a.requestId != b.requestId || a.errorStatus != b.errorStatus || a.errorIndex != b.errorIndex ||
        a.varBinds.size() != b.varBinds.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.varBinds.size(); ++i) {
        if (a.varBinds[i].name != b.varBinds[i].name || a.varBinds[i].value != b.varBinds[i].value) return false;
    }
    return true;
}

// Whether the datagram is a decodable message, and then a set.
bool CheckRoundTrip(std::span<const std::uint8_t> datagram, bool &isSet) {
    Message message;
    if (!DecodeMessage(datagram, message)) return false;
    isSet = message.pduType == kPduSetRequest;
    const std::vector<std::uint8_t> encoded = EncodeMessage(message);
    Message again;
    if (encoded.size() != EncodedSize(message) || !DecodeMessage(encoded, again) || !SameMessage(message, again)) {
        std::abort();
    }
    return true;
}

void CheckAnswer(std::span<const std::uint8_t> datagram, bool isSet) {
    // A set may change the store and gets a copy: every datagram meets the
    // same printer. Get and get-next only read it.
    MibStore copy;
    if (isSet) copy = Printer();
    Agent agent(isSet ? copy : Printer(), AgentSettings{});
    const Outcome outcome = agent.Handle(datagram);
    if (outcome.disposition != Disposition::Answer) return;
    const std::vector<std::uint8_t> reply = EncodeMessage(outcome.reply);
    Message back;
    if (reply.size() > agent.Settings().maxMessageSize || !DecodeMessage(reply, back) ||
        back.pduType != kPduGetResponse || back.requestId != outcome.request.requestId) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> datagram(data, size);
    bool isSet = false;
    if (!CheckRoundTrip(datagram, isSet)) return 0;
    CheckAnswer(datagram, isSet);
    return 0;
}
