/* SPDX-License-Identifier: Apache-2.0 */
// One primitive BER item on the sending side: identifier, contents, and the
// rendering of both with the shortest definite length (X.690 8.1).
#pragma once

#include <cstdint>

namespace snmphelper {

// The two identifier classes this library builds (X.690 8.1.2.2).
enum class BerClass : std::int32_t { Universal = 0, Application = 1 };

// Which constructor made an element; rendering does not depend on it.
enum class BerContentKind : std::int32_t { Integer = 1, Octets = 2, ObjectIdentifier = 3 };

// Largest content length an element can hold.
inline constexpr std::uint32_t kBerElementMaxContents = 32767;

// An element lives in one global-heap block: its contents area first, then the
// element itself, then a small trailer. Create it with one of the
// BerElementFrom* functions and give it back with BerElementRelease.
struct BerElement {
    BerClass berClass;
    std::uint32_t tagNumber;  // below 31: the high-tag-number form is never needed
    BerContentKind contentKind;
    bool constructed;  // always false for the elements built here
    std::int16_t contentLength;
    std::uint8_t *contents;  // the start of the element's block
    std::uint32_t validityMark;
    std::uint32_t referenceCount;
};

// An element holding a copy of the `n` octets at `contents`. Null when the
// allocation fails, `n` exceeds kBerElementMaxContents, `contents` is null
// while `n` is not 0, or the tag number is 31 or more.
BerElement *BerElementCreate(BerClass berClass, std::uint32_t tagNumber, BerContentKind kind,
                             const std::uint8_t *contents, std::uint32_t n);

// INTEGER-style contents of an unsigned number: as few octets as possible,
// with a leading 00 when the first octet has its high bit set (X.690 8.3).
BerElement *BerElementFromUnsigned(BerClass berClass, std::uint32_t tagNumber, std::uint32_t v);

// The shortest two's-complement contents of a signed number (X.690 8.3.2).
BerElement *BerElementFromSigned(BerClass berClass, std::uint32_t tagNumber, std::int32_t v);

// The `n` octets at `bytes` as contents (null `bytes` with `n` 0 is fine).
BerElement *BerElementFromBytes(BerClass berClass, std::uint32_t tagNumber,
                                const std::uint8_t *bytes, std::uint32_t n);

// Object identifier contents as produced by OidTextToBer. Null as for
// BerElementCreate, and also for no contents at all (an OBJECT IDENTIFIER has
// at least one sub-identifier, X.690 8.19) and when the last octet has its
// high bit set (an unfinished sub-identifier).
BerElement *BerElementFromOid(BerClass berClass, std::uint32_t tagNumber,
                              const std::uint8_t *contents, std::uint32_t n);

// Writes identifier, length and contents into `buffer` (room `room`).
// Returns the octets written, or -1 when the element is missing or not valid,
// or the item does not fit (nothing useful is left in the buffer then).
int BerElementRender(const BerElement *element, std::uint8_t *buffer, std::uint32_t room);

// Drops one reference; the block is freed with the last. Null does nothing.
void BerElementRelease(BerElement *element);

}  // namespace snmphelper
