/* SPDX-License-Identifier: Apache-2.0 */
// A bounded read cursor over received octets: a position and the number of
// octets that remain. Every read checks the remaining count first, so nothing
// built on it can read past the end of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace snmphelper {

// Past the octets below 0x80 from `at`, eight at a time: where the first
// word of eight that holds a higher octet begins, or fewer than eight remain.
// Object identifier contents are mostly such octets, each one arc.
inline std::size_t SkipLowOctets(const std::uint8_t *octets, std::size_t n, std::size_t at) {
    while (n - at >= sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, octets + at, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) break;
        at += sizeof word;
    }
    return at;
}

class ByteCursor {
public:
    ByteCursor() = default;
    ByteCursor(const std::uint8_t *data, std::size_t size) : at_(data), remaining_(size) {}

    std::size_t Remaining() const { return remaining_; }
    bool AtEnd() const { return remaining_ == 0; }
    const std::uint8_t *Position() const { return at_; }

    // Reads one octet; false at the end.
    bool ReadOctet(std::uint8_t &octet) {
        if (remaining_ == 0) return false;
        octet = *at_;
        Advance(1);
        return true;
    }

    // Reads one octet and requires it to be `expected`.
    bool ExpectOctet(std::uint8_t expected) {
        std::uint8_t octet = 0;
        return ReadOctet(octet) && octet == expected;
    }

    // Splits off the next `count` octets as a cursor of their own and moves
    // past them; false (and nothing moved) when fewer remain.
    bool Split(std::size_t count, ByteCursor &front) {
        if (count > remaining_) return false;
        front = ByteCursor(at_, count);
        Advance(count);
        return true;
    }

private:
    void Advance(std::size_t count) {
        at_ += count;
        remaining_ -= count;
    }

    const std::uint8_t *at_ = nullptr;
    std::size_t remaining_ = 0;
};

// Reads a BER definite length (X.690 8.1.3) at the cursor into `length`.
// Defined with the other BER primitives in codec/ber_decode.cpp.
bool DecodeLength(ByteCursor &cursor, std::uint32_t &length);

// The framing step every decoder repeats: the next octet must be
// `identifier`, a definite length follows, and that many octets must remain.
// On success `contents` covers exactly the item's contents and `cursor`
// stands after them; a caller that needs the item to reach to the end of its
// enclosing data checks cursor.AtEnd() afterwards.
inline bool EnterItem(ByteCursor &cursor, std::uint8_t identifier, ByteCursor &contents) {
    std::uint32_t length = 0;
    return cursor.ExpectOctet(identifier) && DecodeLength(cursor, length) &&
           cursor.Split(length, contents);
}

}  // namespace snmphelper
