// SPDX-License-Identifier: Apache-2.0
// Codec and text-layer cases: the same messages through our library and
// through net-snmp's, one benchmark per side and size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/messages.h"
#include "bench/netsnmp_side.h"
#include "snmphelper.h"

namespace snmphelper::bench {
namespace {

constexpr int kSizes[] = {1, 7, 31};

void EncodeOurs(benchmark::State &state, int count) {
    const SnmpReqParam &record = RequestOf(count).record;
    std::uint8_t buffer[4096];
    for (auto _ : state) {
        std::uint16_t length = sizeof buffer;
        if (HelperSnmpEncodePdu(&record, buffer, &length) != SNMP_ENCODE_OK) {
            state.SkipWithError("encode failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}

void EncodeNetSnmp(benchmark::State &state, int count) {
    netsnmp::Initialise();
    netsnmp::Encoder encoder(count);
    for (auto _ : state) {
        const std::uint8_t *message = nullptr;
        std::size_t length = 0;
        if (!encoder.Encode(message, length)) {
            state.SkipWithError("snmp_build failed");
            break;
        }
        benchmark::DoNotOptimize(message);
    }
    state.SetItemsProcessed(state.iterations());
}

void DecodeOurs(benchmark::State &state, int count) {
    const std::vector<std::uint8_t> &message = ResponseOf(count);
    for (auto _ : state) {
        SnmpReqParam *reply = HelperSnmpDecodePdu(message.data(), static_cast<std::uint32_t>(message.size()));
        if (reply == nullptr || reply->varBindCount != count) {
            state.SkipWithError("decode failed");
            break;
        }
        HelperFreeReqParam(reply);
    }
    state.SetItemsProcessed(state.iterations());
}

void DecodeNetSnmp(benchmark::State &state, int count) {
    netsnmp::Initialise();
    netsnmp::Decoder decoder;
    const std::vector<std::uint8_t> &message = ResponseOf(count);
    for (auto _ : state) {
        if (!decoder.Decode(message, static_cast<std::size_t>(count))) {
            state.SkipWithError("snmp_parse failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The caller's side of the text layer: a packet formed from the identifier
// list (split in place, so it is restored each time, as a caller would),
// and the reply extracted into the identifier and value buffers.
void TextOurs(benchmark::State &state, int count) {
    const GetRequest &request = RequestOf(count);
    const std::vector<std::uint8_t> &reply = ResponseOf(count);
    std::vector<char> oidList(request.oidList.size() + 1);
    std::vector<char> oidBuffer(2048);
    std::vector<char> valueBuffer(4096);
    for (auto _ : state) {
        std::memcpy(oidList.data(), request.oidList.c_str(), oidList.size());
        std::uint32_t valueSize = 0;
        std::uint32_t packetLength = 0;
        std::uint8_t *packet =
            HelperFormSNMPPacket(SNMP_REQUEST_GET, oidList.data(), static_cast<std::uint32_t>(oidList.size()),
                                 valueBuffer.data(), &valueSize, static_cast<std::uint32_t>(count), &packetLength);
        if (packet == nullptr) {
            state.SkipWithError("form failed");
            break;
        }
        HelperFreeBlock(packet);
        std::uint32_t oidSize = static_cast<std::uint32_t>(oidBuffer.size());
        valueSize = static_cast<std::uint32_t>(valueBuffer.size());
        if (HelperSNMPDecodePacket(reply.data(), static_cast<std::uint32_t>(reply.size()), oidBuffer.data(), &oidSize,
                                   valueBuffer.data(), &valueSize) != SNMP_RESULT_OK) {
            state.SkipWithError("extraction failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void TextNetSnmp(benchmark::State &state, int count) {
    netsnmp::Initialise();
    netsnmp::TextLayer layer(count);
    const std::vector<std::uint8_t> &reply = ResponseOf(count);
    std::string oids;
    std::string values;
    for (auto _ : state) {
        if (!layer.FormAndExtract(reply, oids, values)) {
            state.SkipWithError("net-snmp text layer failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// Names "ours:<case>" and "netsnmp:<case>": the summary pairs them by case.
[[maybe_unused]] const bool registered = [] {
    for (int count : kSizes) {
        const std::string n = std::to_string(count);
        benchmark::RegisterBenchmark(("ours:encode_get_" + n).c_str(), EncodeOurs, count);
        benchmark::RegisterBenchmark(("netsnmp:encode_get_" + n).c_str(), EncodeNetSnmp, count);
    }
    for (int count : kSizes) {
        const std::string n = std::to_string(count);
        benchmark::RegisterBenchmark(("ours:decode_response_" + n).c_str(), DecodeOurs, count);
        benchmark::RegisterBenchmark(("netsnmp:decode_response_" + n).c_str(), DecodeNetSnmp, count);
    }
    for (int count : kSizes) {
        const std::string n = std::to_string(count);
        benchmark::RegisterBenchmark(("ours:text_form_extract_" + n).c_str(), TextOurs, count);
        benchmark::RegisterBenchmark(("netsnmp:text_form_extract_" + n).c_str(), TextNetSnmp, count);
    }
    return true;
}();

}  // namespace
}  // namespace snmphelper::bench
