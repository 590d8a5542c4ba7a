// SPDX-License-Identifier: Apache-2.0
#include "codec/ber_element.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "codec/ber_encode.h"
#include "platform/heap.h"

namespace snmphelper {
namespace {

constexpr std::uint32_t kValidElement = 1;
constexpr std::uint32_t kHighTagNumber = 31;  // X.690 8.1.2.4: needs the long identifier form

// Bookkeeping that follows the element in its block.
struct BerElementHeader {
    std::uint32_t contentsCapacity;
    std::uint8_t *blockStart;
};

// The block is measured in element-sized units: the contents area takes
// n / unit + 1 of them (at least one to spare), then come the element and its
// header. Keeping the contents at a whole number of units keeps the element
// and the header aligned.
constexpr std::size_t kUnit = sizeof(BerElement);
static_assert(kUnit % alignof(BerElement) == 0);
static_assert(kUnit % alignof(BerElementHeader) == 0);

std::size_t ContentsAreaSize(std::uint32_t n) { return (n / kUnit + 1) * kUnit; }

BerElementHeader *HeaderOf(const BerElement *element) {
    auto *place = reinterpret_cast<std::uint8_t *>(const_cast<BerElement *>(element)) + kUnit;
    return std::launder(reinterpret_cast<BerElementHeader *>(place));
}

}  // namespace

BerElement *BerElementCreate(BerClass berClass, std::uint32_t tagNumber, BerContentKind kind,
                             const std::uint8_t *contents, std::uint32_t n) {
    if (n > kBerElementMaxContents || (contents == nullptr && n != 0)) return nullptr;
    if (tagNumber >= kHighTagNumber) return nullptr;
    if (berClass != BerClass::Universal && berClass != BerClass::Application) return nullptr;

    const std::size_t contentsArea = ContentsAreaSize(n);
    auto *block = static_cast<std::uint8_t *>(
        platform::HeapAllocZero(contentsArea + kUnit + sizeof(BerElementHeader)));
    if (block == nullptr) return nullptr;
    if (n != 0) std::memcpy(block, contents, n);

    auto *element = new (block + contentsArea) BerElement{};
    element->berClass = berClass;
    element->tagNumber = tagNumber;
    element->contentKind = kind;
    element->constructed = false;
    element->contentLength = static_cast<std::int16_t>(n);
    element->contents = block;
    element->validityMark = kValidElement;
    element->referenceCount = 1;
    auto *header = new (block + contentsArea + kUnit) BerElementHeader{};
    header->contentsCapacity = static_cast<std::uint32_t>(contentsArea);
    header->blockStart = block;
    return element;
}

BerElement *BerElementFromUnsigned(BerClass berClass, std::uint32_t tagNumber, std::uint32_t v) {
    const IntegerContents contents = UnsignedContents(v);
    return BerElementCreate(berClass, tagNumber, BerContentKind::Integer, contents.data(), contents.size());
}

BerElement *BerElementFromSigned(BerClass berClass, std::uint32_t tagNumber, std::int32_t v) {
    const IntegerContents contents = SignedContents(v);
    return BerElementCreate(berClass, tagNumber, BerContentKind::Integer, contents.data(), contents.size());
}

BerElement *BerElementFromBytes(BerClass berClass, std::uint32_t tagNumber,
                                const std::uint8_t *bytes, std::uint32_t n) {
    return BerElementCreate(berClass, tagNumber, BerContentKind::Octets, bytes, n);
}

BerElement *BerElementFromOid(BerClass berClass, std::uint32_t tagNumber,
                              const std::uint8_t *contents, std::uint32_t n) {
    if (n == 0 || contents == nullptr) return nullptr;
    if ((contents[n - 1] & 0x80) != 0) return nullptr;
    return BerElementCreate(berClass, tagNumber, BerContentKind::ObjectIdentifier, contents, n);
}

int BerElementRender(const BerElement *element, std::uint8_t *buffer, std::uint32_t room) {
    if (element == nullptr || element->validityMark != kValidElement) return -1;
    if (buffer == nullptr || room == 0) return -1;
    if (element->contentLength < 0) return -1;
    const auto n = static_cast<std::uint32_t>(element->contentLength);
    if (n > HeaderOf(element)->contentsCapacity) return -1;

    buffer[0] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(element->berClass) * 64 +
                                          (element->constructed ? 0x20u : 0u) + element->tagNumber);
    std::uint32_t position = 1;
    const std::uint32_t lengthOctets = EncodeLength(n, buffer + position, room - position);
    if (lengthOctets == 0) return -1;
    position += lengthOctets;
    if (room - position < n) return -1;
    if (n != 0) std::memcpy(buffer + position, element->contents, n);
    return static_cast<int>(position + n);
}

void BerElementRelease(BerElement *element) {
    if (element == nullptr) return;
    if (element->referenceCount > 1) {
        --element->referenceCount;
        return;
    }
    std::uint8_t *block = HeaderOf(element)->blockStart;
    element->validityMark = 0;
    platform::HeapFree(block);
}

}  // namespace snmphelper
