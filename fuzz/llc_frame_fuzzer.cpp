// SPDX-License-Identifier: Apache-2.0
// Any Ethernet frame through the DLC interface's UI frame parser and on into
// an application's receive buffers, and through the printer simulator's LLC
// parser: no read outside the frame; the data of a frame either accepts
// lies inside it and comes back the same when the frame is built again; the
// buffer chain holds exactly that data and goes back whole to the pool; a
// UI frame both accept carries the same data for both.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "dlcapi/buffer_pool.h"
#include "dlcapi/llc_link.h"
#include "tools/printer-sim/llc_frame.h"

using namespace snmphelper::dlcapi;

namespace {

bool Inside(std::span<const std::uint8_t> part, const std::vector<std::uint8_t> &frame) {
    return part.empty() || (part.data() >= frame.data() && part.data() + part.size() <= frame.data() + frame.size());
}

// The frame's data lent out as a chain from a pool of a few buffers, as the
// adapter delivers it, read back and given back.
void DeliverThroughPool(std::span<const std::uint8_t> data) {
    constexpr std::size_t kBuffers = 8;
    std::vector<std::uint8_t> memory(kBuffers * BufferPool::kBufferSize + 3);
    BufferPool pool;
    if (!pool.Create(memory.data(), memory.size())) std::abort();
    const std::size_t freeBefore = pool.FreeCount();
    snmphelper::dlc::ReceiveBuffer *first = pool.Lend(data);
    if (first == nullptr) {
        if (BufferPool::BuffersFor(data.size()) <= freeBefore) std::abort();
        return;
    }
    std::vector<std::uint8_t> gathered;
    for (auto *part = first; part != nullptr; part = part->header.nextBuffer) {
        const auto *start = reinterpret_cast<const std::uint8_t *>(part) + part->header.userDataOffset;
        if (part->header.userDataOffset + part->header.userDataLength > BufferPool::kBufferSize) std::abort();
        gathered.insert(gathered.end(), start, start + part->header.userDataLength);
    }
    if (!std::equal(gathered.begin(), gathered.end(), data.begin(), data.end())) std::abort();
    if (pool.GiveBack(first) != 0 || pool.FreeCount() != freeBefore) std::abort();
}

// The simulator's side; the data it read, or an empty span.
std::span<const std::uint8_t> SimulatorReads(const std::vector<std::uint8_t> &frame, bool &accepted) {
    printersim::LlcFrame parsed;
    accepted = printersim::ParseLlcFrame(frame, parsed);
    if (!accepted) return {};
    if (!Inside(parsed.data, frame)) std::abort();
    std::vector<std::uint8_t> rebuilt;
    if (printersim::BuildLlcUiFrame(parsed.destination, parsed.source, parsed.dsap, parsed.ssap, parsed.data,
                                    rebuilt)) {
        printersim::LlcFrame again;
        if (!printersim::ParseLlcFrame(rebuilt, again) || again.dsap != parsed.dsap || again.ssap != parsed.ssap ||
            !std::equal(again.data.begin(), again.data.end(), parsed.data.begin(), parsed.data.end())) {
            std::abort();
        }
    }
    return parsed.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::vector<std::uint8_t> frame(data, data + size);
    bool simulatorAccepted = false;
    const std::span<const std::uint8_t> simulatorData = SimulatorReads(frame, simulatorAccepted);
    UiFrame parsed;
    if (!ParseUiFrame(frame, parsed)) return 0;
    if (!Inside(parsed.data, frame)) std::abort();
    if (simulatorAccepted &&
        (simulatorData.data() != parsed.data.data() || simulatorData.size() != parsed.data.size())) {
        std::abort();
    }
    DeliverThroughPool(parsed.data);
    std::vector<std::uint8_t> rebuilt;
    if (!BuildUiFrame(parsed.destination, parsed.source, parsed.dsap, parsed.ssap, parsed.data, rebuilt)) {
        return 0;
    }
    UiFrame again;
    if (!ParseUiFrame(rebuilt, again) || again.dsap != parsed.dsap || again.ssap != parsed.ssap ||
        again.data.size() != parsed.data.size() ||
        std::memcmp(again.data.data(), parsed.data.data(), parsed.data.size()) != 0) {
        std::abort();
    }
    return 0;
}
