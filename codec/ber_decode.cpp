// SPDX-License-Identifier: Apache-2.0
#include "codec/ber_decode.h"

#include <cstring>
#include <limits>
#include <vector>

namespace snmphelper {
namespace {

constexpr std::uint8_t kLongFormBit = 0x80;
constexpr std::uint32_t kMaxLengthOctets = 4;  // lengths are 32-bit numbers here

// Reads one sub-identifier (X.690 8.19.2): base-128 groups, high bit set on
// all but the last. Refuses an unfinished one and one above 32 bits.
bool ReadSubIdentifier(ByteCursor &contents, std::uint32_t &value) {
    value = 0;
    std::uint8_t octet = 0;
    do {
        if (!contents.ReadOctet(octet)) return false;
        if (value > (std::numeric_limits<std::uint32_t>::max() >> 7)) return false;
        value = (value << 7) | (octet & 0x7Fu);
    } while ((octet & 0x80u) != 0);
    return true;
}

// The sub-identifier at `at` of `n` octets, as ReadSubIdentifier reads it,
// with `at` moved past it; one octet below 0x80 read without a cursor.
bool ReadSubIdentifierAt(const std::uint8_t *contents, std::size_t n, std::size_t &at, std::uint32_t &value) {
    if (contents[at] < 0x80) {
        value = contents[at++];
        return true;
    }
    ByteCursor rest(contents + at, n - at);
    if (!ReadSubIdentifier(rest, value)) return false;
    at = n - rest.Remaining();
    return true;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

std::size_t DecimalDigitCount(std::uint32_t value) {
    std::size_t count = 1;
    for (std::uint32_t bound = 10; value >= bound; bound *= 10) {
        ++count;
        if (count == 10) break;  // 10^10 does not fit; every larger value has ten digits
    }
    return count;
}

// Writes the decimal digits of `value` so that they end just before `end`,
// two at a time.
void WriteDecimalBefore(char *end, std::uint32_t value) {
    while (value >= 100) {
        const std::uint32_t pair = value % 100;
        value /= 100;
        end -= 2;
        end[0] = kDigitPairs[2 * pair];
        end[1] = kDigitPairs[2 * pair + 1];
    }
    if (value >= 10) {
        end[-2] = kDigitPairs[2 * value];
        end[-1] = kDigitPairs[2 * value + 1];
    } else {
        end[-1] = static_cast<char>('0' + value);
    }
}

// Appends arcs to a text of bounded room. The terminator is written by
// Finish, after the last complete arc, whether or not all arcs fitted.
class ArcWriter {
public:
    ArcWriter(char *text, std::size_t room) : text_(text), room_(room) {}

    bool Append(std::uint32_t arc, bool dotFirst) {
        // Most arcs of a printer's names are below ten.
        if (arc < 10 && dotFirst) {
            if (room_ - used_ < 2) return false;
            text_[used_] = '.';
            text_[used_ + 1] = static_cast<char>('0' + arc);
            used_ += 2;
            return true;
        }
        const std::size_t digits = arc < 100 ? (arc < 10 ? 1 : 2) : DecimalDigitCount(arc);
        const std::size_t need = digits + (dotFirst ? 1 : 0);
        if (need > room_ - used_) return false;
        if (dotFirst) text_[used_] = '.';
        used_ += need;
        WriteDecimalBefore(text_ + used_, arc);
        return true;
    }

    void Finish() { text_[used_] = '\0'; }

    std::size_t Used() const { return used_; }

private:
    char *text_;
    std::size_t room_;
    std::size_t used_ = 0;
};

// Counts what ArcWriter would write, refusing where it would.
class ArcCounter {
public:
    explicit ArcCounter(std::size_t room) : room_(room) {}

    bool Append(std::uint32_t arc, bool dotFirst) {
        const std::size_t need = DecimalDigitCount(arc) + (dotFirst ? 1 : 0);
        if (need > room_ - used_) return false;
        used_ += need;
        return true;
    }

    std::size_t Used() const { return used_; }

private:
    std::size_t room_;
    std::size_t used_ = 0;
};

// Keeps the arcs as numbers.
class ArcList {
public:
    explicit ArcList(std::vector<std::uint64_t> &arcs) : arcs_(arcs) { arcs_.clear(); }

    bool Append(std::uint32_t arc, bool) {
        arcs_.push_back(arc);
        return true;
    }

private:
    std::vector<std::uint64_t> &arcs_;
};

// The arcs of OBJECT IDENTIFIER contents, as many as are complete and fit.
template <typename Writer>
bool WriteArcs(Writer &writer, const std::uint8_t *contents, std::size_t n) {
    if (n == 0) return true;
    ByteCursor subIdentifiers(contents, n);
    std::uint32_t first = 0;
    // The first sub-identifier carries two arcs, X * 40 + Y (X.690 8.19.4).
    if (!ReadSubIdentifier(subIdentifiers, first) || !writer.Append(first / 40, false) ||
        !writer.Append(first % 40, true)) {
        return false;
    }
    while (!subIdentifiers.AtEnd()) {
        std::uint32_t arc = *subIdentifiers.Position();
        // A sub-identifier of one octet is the arc itself.
        if (arc < 0x80) {
            std::uint8_t octet = 0;
            subIdentifiers.ReadOctet(octet);
        } else if (!ReadSubIdentifier(subIdentifiers, arc)) {
            return false;
        }
        if (!writer.Append(arc, true)) return false;
    }
    return true;
}

// A number in INTEGER-style contents (X.690 8.3) of a definite length.
// Signed: two's complement that must fit 32 bits signed. Unsigned (Counter,
// Gauge, TimeTicks): read as an unsigned number, as agents commonly send 255
// as the single octet FF, that must fit 32 bits; so 00 FF FF FF FF is
// 4294967295 while 01 00 00 00 00 is refused. Two forms X.690 8.3 forbids
// are read: redundant leading 00 or FF octets, as the number is the same, and
// no contents, read as 0, as that is what encoders that write no octets for
// the number 0 send.
bool ReadNumber(ByteCursor &cursor, bool isSigned, std::uint32_t &number) {
    std::uint32_t length = 0;
    ByteCursor contents;
    if (!DecodeLength(cursor, length) || !cursor.Split(length, contents)) return false;
    std::int64_t value = 0;
    std::uint8_t octet = 0;
    for (bool first = true; contents.ReadOctet(octet); first = false) {
        if (first && isSigned && (octet & 0x80u) != 0) value = -1;
        value = value * 256 + octet;
        const std::int64_t low = isSigned ? std::numeric_limits<std::int32_t>::min() : 0;
        const std::int64_t high = isSigned ? std::numeric_limits<std::int32_t>::max()
                                           : std::numeric_limits<std::uint32_t>::max();
        if (value < low || value > high) return false;
    }
    number = static_cast<std::uint32_t>(value);
    return true;
}

// A primitive item whose contents are kept as they are.
bool ReadOctets(ByteCursor &cursor, BerValue &value) {
    std::uint32_t length = 0;
    ByteCursor contents;
    if (!DecodeLength(cursor, length) || !cursor.Split(length, contents)) return false;
    value.octets = contents.Position();
    value.octetCount = length;
    return true;
}

// IpAddress: exactly the length octet 4 and four octets (RFC 1155 3.2.3.2).
bool ReadIpAddress(ByteCursor &cursor, BerValue &value) {
    ByteCursor contents;
    if (!cursor.ExpectOctet(4) || !cursor.Split(4, contents)) return false;
    value.octets = contents.Position();
    value.octetCount = 4;
    return true;
}

bool ReadObjectIdentifier(ByteCursor &cursor, BerValue &value) {
    std::uint32_t length = 0;
    ByteCursor contents;
    if (!DecodeLength(cursor, length) || !cursor.Split(length, contents)) return false;
    std::size_t textLength = 0;
    if (!OidBerToText(value.text, kOidTextRoom, contents.Position(), length, textLength)) return false;
    value.textLength = static_cast<std::uint32_t>(textLength);
    return true;
}

bool ReadContents(ByteCursor &cursor, BerValue &value) {
    switch (value.type) {
    case SNMP_VALUE_INTEGER: return ReadNumber(cursor, true, value.number);
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: return ReadNumber(cursor, false, value.number);
    case SNMP_VALUE_IP_ADDRESS: return ReadIpAddress(cursor, value);
    case SNMP_VALUE_OCTET_STRING:
    case SNMP_VALUE_OPAQUE: return ReadOctets(cursor, value);
    case SNMP_VALUE_NULL: return cursor.ExpectOctet(0);
    case SNMP_VALUE_OBJECT_IDENTIFIER: return ReadObjectIdentifier(cursor, value);
    case SNMP_VALUE_NONE: break;
    }
    return false;
}

}  // namespace

bool DecodeLength(ByteCursor &cursor, std::uint32_t &length) {
    ByteCursor at = cursor;
    std::uint8_t first = 0;
    if (!at.ReadOctet(first)) return false;
    if ((first & kLongFormBit) == 0) {
        length = first;
        cursor = at;
        return true;
    }
    // 0x80 alone is the indefinite form, which SNMP does not use (RFC 1157
    // 4.1); more than four length octets do not fit a 32-bit length.
    const std::uint32_t count = first & 0x7Fu;
    if (count == 0 || count > kMaxLengthOctets) return false;
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t octet = 0;
        if (!at.ReadOctet(octet)) return false;
        value = (value << 8) | octet;
    }
    length = value;
    cursor = at;
    return true;
}

SnmpValueType MapBerType(BerClass berClass, std::uint32_t tagNumber) {
    if (berClass == BerClass::Universal) {
        switch (tagNumber) {
        case 2: return SNMP_VALUE_INTEGER;
        case 4: return SNMP_VALUE_OCTET_STRING;
        case 5: return SNMP_VALUE_NULL;
        case 6: return SNMP_VALUE_OBJECT_IDENTIFIER;
        default: return SNMP_VALUE_NONE;
        }
    }
    if (berClass == BerClass::Application) {
        switch (tagNumber) {
        case 0: return SNMP_VALUE_IP_ADDRESS;
        case 1: return SNMP_VALUE_COUNTER;
        case 2: return SNMP_VALUE_GAUGE;
        case 3: return SNMP_VALUE_TIME_TICKS;
        case 4: return SNMP_VALUE_OPAQUE;
        default: return SNMP_VALUE_NONE;
        }
    }
    return SNMP_VALUE_NONE;
}

bool ReadBerValue(BerClass berClass, std::uint32_t tagNumber, ByteCursor &cursor, BerValue &value) {
    value.type = MapBerType(berClass, tagNumber);
    ByteCursor at = cursor;
    if (!ReadContents(at, value)) return false;
    cursor = at;
    return true;
}

std::uint32_t StoredValueLength(const BerValue &value) {
    switch (value.type) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: return sizeof value.number;
    case SNMP_VALUE_IP_ADDRESS:
    case SNMP_VALUE_OCTET_STRING:
    case SNMP_VALUE_OPAQUE: return value.octetCount;
    case SNMP_VALUE_OBJECT_IDENTIFIER: return value.textLength;
    case SNMP_VALUE_NULL:
    case SNMP_VALUE_NONE: break;
    }
    return 0;
}

void StoreBerValue(const BerValue &value, void *out) {
    const std::uint32_t length = StoredValueLength(value);
    if (length == 0) return;
    switch (value.type) {
    case SNMP_VALUE_INTEGER:
    case SNMP_VALUE_COUNTER:
    case SNMP_VALUE_GAUGE:
    case SNMP_VALUE_TIME_TICKS: std::memcpy(out, &value.number, sizeof value.number); return;
    case SNMP_VALUE_OBJECT_IDENTIFIER: std::memcpy(out, value.text, length); return;
    default: std::memcpy(out, value.octets, length); return;
    }
}

bool DecodeBerValue(BerClass berClass, std::uint32_t tagNumber, ByteCursor &cursor, void *out,
                    std::uint32_t &length) {
    BerValue value;
    ByteCursor at = cursor;
    if (!ReadBerValue(berClass, tagNumber, at, value)) return false;
    const std::uint32_t stored = StoredValueLength(value);
    if (stored > length) return false;
    StoreBerValue(value, out);
    length = stored;
    cursor = at;
    return true;
}

bool OidBerToText(char *text, std::size_t room, const std::uint8_t *contents, std::size_t n,
                  std::size_t &length) {
    ArcWriter writer(text, room);
    length = 0;
    const bool written = WriteArcs(writer, contents, n);
    writer.Finish();
    if (written) length = writer.Used();
    return written;
}

bool OidBerFitsText(const std::uint8_t *contents, std::size_t n, std::size_t room) {
    // A sub-identifier of k octets is at most 4k characters with its dot (a
    // first one of k octets, two arcs, too), so short contents need no
    // counting: only every sub-identifier must be whole and within 32 bits.
    if (n <= room / 4) {
        std::size_t at = 0;
        while ((at = SkipLowOctets(contents, n, at)) < n) {
            std::uint32_t arc = 0;
            if (contents[at] < 0x80) {
                ++at;
            } else if (!ReadSubIdentifierAt(contents, n, at, arc)) {
                return false;
            }
        }
        return true;
    }
    ArcCounter counter(room);
    return WriteArcs(counter, contents, n);
}

bool OidBerToArcs(const std::uint8_t *contents, std::size_t n, std::vector<std::uint64_t> &arcs) {
    ArcList list(arcs);
    return WriteArcs(list, contents, n);
}

bool SubidentifiersToArcs(const std::uint8_t *contents, std::size_t n, std::vector<std::uint64_t> &arcs) {
    arcs.resize(n);  // at most one arc per octet
    std::size_t count = 0;
    std::size_t at = 0;
    while (at < n) {
        std::uint32_t arc = 0;
        if (!ReadSubIdentifierAt(contents, n, at, arc)) {
            arcs.clear();
            return false;
        }
        arcs[count++] = arc;
    }
    arcs.resize(count);
    return true;
}

}  // namespace snmphelper
