// SPDX-License-Identifier: Apache-2.0
// Object identifier text and contents both ways. Contents of any kind go
// through OidBerToText into an exactly sized text block, and the readers
// that keep names as contents agree with it. Text that OidTextToBer accepts
// must come back through OidBerToText as text that OidTextToBer turns into
// the same octets; contents OidContentsValid takes are such octets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/ber_decode.h"
#include "codec/ber_encode.h"

namespace {

// Room for the text of any contents OidTextToBer can produce into
// kContentsRoom octets: at most 10 digits and a dot per sub-identifier, and
// the first sub-identifier's two arcs.
constexpr int kContentsRoom = 512;
constexpr std::size_t kTextRoom = 11 * kContentsRoom + 16;

void ContentsToText(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return;
    // The first octet picks the room; the rest are the contents.
    const std::size_t room = data[0] * 2u;
    std::unique_ptr<char[]> text(new char[room + 1]);
    std::size_t length = 0;
    const bool ok = snmphelper::OidBerToText(text.get(), room, data + 1, size - 1, length);
    if (std::strlen(text.get()) > room) std::abort();
    if (ok && std::strlen(text.get()) != length) std::abort();
    if (snmphelper::OidBerFitsText(data + 1, size - 1, room) != ok) std::abort();
    std::vector<std::uint64_t> arcs;
    const bool read = snmphelper::OidBerToArcs(data + 1, size - 1, arcs);
    if (ok && !read) std::abort();
    if (snmphelper::OidContentsValid(data + 1, size - 1, kContentsRoom)) {
        // Valid contents are what OidTextToBer makes of their text.
        std::unique_ptr<char[]> whole(new char[kTextRoom + 1]);
        std::size_t wholeLength = 0;
        if (!snmphelper::OidBerToText(whole.get(), kTextRoom, data + 1, size - 1, wholeLength)) std::abort();
        std::uint8_t again[kContentsRoom];
        const int againLength = snmphelper::OidTextToBer(again, kContentsRoom, whole.get());
        if (againLength != static_cast<int>(size - 1) || std::memcmp(again, data + 1, size - 1) != 0) std::abort();
    }
}

void TextRoundTrip(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::uint8_t first[kContentsRoom];
    const int firstLength = snmphelper::OidTextToBer(first, kContentsRoom, text.c_str());
    if (firstLength < 0) return;
    std::unique_ptr<char[]> back(new char[kTextRoom + 1]);
    std::size_t backLength = 0;
    if (!snmphelper::OidBerToText(back.get(), kTextRoom, first,
                                  static_cast<std::size_t>(firstLength), backLength)) {
        std::abort();
    }
    std::uint8_t second[kContentsRoom];
    const int secondLength = snmphelper::OidTextToBer(second, kContentsRoom, back.get());
    if (secondLength != firstLength ||
        std::memcmp(first, second, static_cast<std::size_t>(firstLength)) != 0) {
        std::abort();
    }
    if (firstLength > 0 && !snmphelper::OidContentsValid(first, static_cast<std::size_t>(firstLength), kContentsRoom)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    ContentsToText(data, size);
    TextRoundTrip(data, size);
    return 0;
}
