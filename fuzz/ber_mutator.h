/* SPDX-License-Identifier: Apache-2.0 */
// Structure-aware mutation for the fuzz targets whose input is one BER
// message. Byte flips rarely get past the first length check, so the input
// is read as a tree of identifier-length-contents items and one item is
// changed: its identifier, its length form (long with padding octets,
// indefinite), an integer's width, an object identifier's sub-identifiers, a
// child duplicated, dropped, inserted or wrapped deeper. The tree is written
// back with matching lengths, except now and then a length that lies. Input
// that does not read as items goes to libFuzzer's own mutator.
//
// Including this header defines LLVMFuzzerCustomMutator and
// LLVMFuzzerCustomCrossOver for the target: include it in one file only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t *data, std::size_t size, std::size_t maxSize);

namespace fuzzing {

enum class LengthForm : std::uint8_t { kShortest, kLong, kIndefinite };

struct BerNode {
    std::uint8_t tag = 0;
    LengthForm form = LengthForm::kShortest;
    std::uint8_t longOctets = 0;  // octets after 0x8n in the long form
    int lengthSkew = 0;           // added to the written length: a lie when not 0
    bool hasChildren = false;     // constructed and its contents read as items
    std::vector<std::uint8_t> contents;  // when !hasChildren
    std::vector<BerNode> children;
};

// The message: its items, and whatever followed the last readable one.
struct BerTree {
    BerNode root;  // only its children are written
    std::vector<std::uint8_t> trailer;
};

using Random = std::minstd_rand;

// Items nested deeper than this are kept as raw contents, so that neither
// reading nor writing recurses without bound.
constexpr int kMaxDepth = 64;

inline std::size_t Pick(Random &random, std::size_t count) {
    return count == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}

inline bool OneIn(Random &random, std::size_t n) { return Pick(random, n) == 0; }

// --- reading ---------------------------------------------------------------------

class BerReader {
public:
    BerReader(const std::uint8_t *data, std::size_t size) : at_(data), end_(data + size) {}

    std::size_t Remaining() const { return static_cast<std::size_t>(end_ - at_); }
    const std::uint8_t *At() const { return at_; }

    // Reads items until the data ends or one does not read; returns whether
    // all of it was read.
    bool ReadItems(std::vector<BerNode> &items, int depth) {
        while (Remaining() > 0) {
            BerNode node;
            const std::uint8_t *start = at_;
            if (!ReadItem(node, depth)) {
                at_ = start;
                return false;
            }
            items.push_back(std::move(node));
        }
        return true;
    }

private:
    bool ReadLength(BerNode &node, std::size_t &length, bool &indefinite) {
        if (Remaining() == 0) return false;
        const std::uint8_t first = *at_++;
        indefinite = first == 0x80;
        length = 0;
        if (first < 0x80 || indefinite) return true;
        const std::size_t octets = first & 0x7Fu;
        if (octets > 4 || octets > Remaining()) return false;
        for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | *at_++;
        // Kept as received: a padded long form stays padded.
        node.form = LengthForm::kLong;
        node.longOctets = static_cast<std::uint8_t>(octets);
        return true;
    }

    bool ReadItem(BerNode &node, int depth) {
        if (Remaining() == 0) return false;
        node.tag = *at_++;
        if ((node.tag & 0x1F) == 0x1F) return false;  // high tag numbers are not modelled
        std::size_t length = 0;
        bool indefinite = false;
        if (!ReadLength(node, length, indefinite)) return false;
        const bool constructed = (node.tag & 0x20) != 0;
        if (indefinite) {
            if (!constructed || depth >= kMaxDepth) return false;
            node.form = LengthForm::kIndefinite;
            node.hasChildren = true;
            return ReadUntilEndOfContents(node.children, depth + 1);
        }
        if (length > Remaining()) return false;
        const std::uint8_t *contents = at_;
        at_ += length;
        if (constructed && length > 0 && depth < kMaxDepth) {
            BerReader inner(contents, length);
            if (inner.ReadItems(node.children, depth + 1)) {
                node.hasChildren = true;
                return true;
            }
            node.children.clear();
        }
        node.hasChildren = constructed && length == 0;
        if (!node.hasChildren) node.contents.assign(contents, contents + length);
        return true;
    }

    bool ReadUntilEndOfContents(std::vector<BerNode> &items, int depth) {
        while (Remaining() >= 2) {
            if (at_[0] == 0 && at_[1] == 0) {
                at_ += 2;
                return true;
            }
            BerNode node;
            if (!ReadItem(node, depth)) return false;
            items.push_back(std::move(node));
        }
        return false;
    }

    const std::uint8_t *at_;
    const std::uint8_t *end_;
};

// False when not even one item reads.
inline bool ReadTree(const std::uint8_t *data, std::size_t size, BerTree &tree) {
    BerReader reader(data, size);
    reader.ReadItems(tree.root.children, 0);
    tree.root.hasChildren = true;
    tree.trailer.assign(reader.At(), reader.At() + reader.Remaining());
    return !tree.root.children.empty();
}

// --- writing ---------------------------------------------------------------------

inline void WriteLength(std::vector<std::uint8_t> &out, const BerNode &node, std::size_t length) {
    long long written = static_cast<long long>(length) + node.lengthSkew;
    if (written < 0) written = 0;
    auto value = static_cast<std::uint64_t>(written);
    std::size_t needed = 0;
    for (std::uint64_t rest = value; rest != 0; rest >>= 8) ++needed;
    if (node.form == LengthForm::kShortest && value < 0x80) {
        out.push_back(static_cast<std::uint8_t>(value));
        return;
    }
    const std::size_t octets =
        node.form == LengthForm::kLong ? std::max<std::size_t>(node.longOctets, needed) : std::max<std::size_t>(needed, 1);
    out.push_back(static_cast<std::uint8_t>(0x80 | octets));
    for (std::size_t i = octets; i-- > 0;) {
        out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : std::uint8_t{0});
    }
}

inline void WriteItems(std::vector<std::uint8_t> &out, const std::vector<BerNode> &items);

inline void WriteItem(std::vector<std::uint8_t> &out, const BerNode &node) {
    out.push_back(node.tag);
    if (node.form == LengthForm::kIndefinite && node.hasChildren) {
        out.push_back(0x80);
        WriteItems(out, node.children);
        out.push_back(0);
        out.push_back(0);
        return;
    }
    if (!node.hasChildren) {
        WriteLength(out, node, node.contents.size());
        out.insert(out.end(), node.contents.begin(), node.contents.end());
        return;
    }
    std::vector<std::uint8_t> inner;
    WriteItems(inner, node.children);
    WriteLength(out, node, inner.size());
    out.insert(out.end(), inner.begin(), inner.end());
}

inline void WriteItems(std::vector<std::uint8_t> &out, const std::vector<BerNode> &items) {
    for (const BerNode &item : items) WriteItem(out, item);
}

inline std::vector<std::uint8_t> WriteTree(const BerTree &tree) {
    std::vector<std::uint8_t> out;
    WriteItems(out, tree.root.children);
    out.insert(out.end(), tree.trailer.begin(), tree.trailer.end());
    return out;
}

// Octets the item is written as, without writing it.
inline std::size_t WrittenSize(const BerNode &node) {
    std::size_t contents = node.contents.size();
    if (node.hasChildren) {
        contents = 0;
        for (const BerNode &child : node.children) contents += WrittenSize(child);
    }
    return 1 + 6 + contents + (node.form == LengthForm::kIndefinite ? 2 : 0);
}

// --- choosing an item ------------------------------------------------------------

struct NodeRef {
    BerNode *node;
    BerNode *parent;  // null for the root
    std::size_t index;
};

inline void Collect(BerNode &node, BerNode *parent, std::size_t index, std::vector<NodeRef> &refs) {
    refs.push_back({&node, parent, index});
    for (std::size_t i = 0; i < node.children.size(); ++i) Collect(node.children[i], &node, i, refs);
}

inline std::vector<NodeRef> AllNodes(BerTree &tree) {
    std::vector<NodeRef> refs;
    Collect(tree.root, nullptr, 0, refs);
    return refs;
}

// --- values ----------------------------------------------------------------------

// The identifiers SNMPv1 messages use, and a few they do not.
inline std::uint8_t InterestingTag(Random &random) {
    static constexpr std::uint8_t kTags[] = {0x02, 0x04, 0x05, 0x06, 0x30, 0x40, 0x41, 0x42, 0x43, 0x44,
                                             0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0x00, 0x01, 0x24, 0x45, 0xFF};
    return OneIn(random, 8) ? static_cast<std::uint8_t>(Pick(random, 256)) : kTags[Pick(random, sizeof kTags)];
}

// Contents of INTEGER, Counter, Gauge and TimeTicks at the edges of their
// widths: empty, padded, one octet too many, sign changes.
inline std::vector<std::uint8_t> InterestingInteger(Random &random) {
    static const std::vector<std::uint8_t> kValues[] = {
        {},
        {0x00},
        {0x7F},
        {0x80},
        {0xFF},
        {0x00, 0x80},
        {0x00, 0x00},
        {0xFF, 0x80},
        {0x7F, 0xFF, 0xFF, 0xFF},
        {0x80, 0x00, 0x00, 0x00},
        {0xFF, 0xFF, 0xFF, 0xFF},
        {0x00, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x00, 0x80, 0x00, 0x00, 0x00},
        {0x01, 0x00, 0x00, 0x00, 0x00},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
        {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    return kValues[Pick(random, sizeof kValues / sizeof kValues[0])];
}

// Widens (sign-extended or zero-padded) or narrows an integer's contents.
inline void ChangeIntegerWidth(std::vector<std::uint8_t> &contents, Random &random) {
    if (!contents.empty() && OneIn(random, 3)) {
        contents.erase(contents.begin());
        return;
    }
    const bool negative = !contents.empty() && (contents.front() & 0x80) != 0;
    const std::size_t pad = 1 + Pick(random, 4);
    const std::uint8_t fill = OneIn(random, 2) ? std::uint8_t{0x00} : (negative ? std::uint8_t{0xFF} : std::uint8_t{0x00});
    contents.insert(contents.begin(), pad, fill);
}

inline bool ReadSubIdentifiers(const std::vector<std::uint8_t> &contents, std::vector<std::uint64_t> &arcs) {
    std::uint64_t value = 0;
    std::size_t octets = 0;
    for (std::uint8_t octet : contents) {
        if (++octets > 9) return false;
        value = (value << 7) | (octet & 0x7Fu);
        if ((octet & 0x80) == 0) {
            arcs.push_back(value);
            value = 0;
            octets = 0;
        }
    }
    return octets == 0;
}

inline void WriteSubIdentifier(std::vector<std::uint8_t> &out, std::uint64_t value, bool padded) {
    std::uint8_t groups[10];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && count < sizeof groups);
    if (padded) out.push_back(0x80);  // a leading zero group: not the shortest form
    while (count-- > 1) out.push_back(static_cast<std::uint8_t>(groups[count] | 0x80));
    out.push_back(groups[0]);
}

inline std::uint64_t InterestingArc(Random &random) {
    static constexpr std::uint64_t kArcs[] = {0,          1,          2,          39,          40,
                                              79,         80,         127,        128,         16383,
                                              16384,      0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,  0x100000000,
                                              0x7FFFFFFFF};
    return kArcs[Pick(random, sizeof kArcs / sizeof kArcs[0])];
}

// One change to an OBJECT IDENTIFIER's sub-identifiers; false when the
// contents are no list of them.
inline bool MutateObjectIdentifier(std::vector<std::uint8_t> &contents, Random &random) {
    std::vector<std::uint64_t> arcs;
    if (!ReadSubIdentifiers(contents, arcs)) return false;
    std::size_t padded = static_cast<std::size_t>(-1);
    bool unfinished = false;
    switch (Pick(random, 6)) {
    case 0:
        if (arcs.empty()) arcs.push_back(0);
        arcs[Pick(random, arcs.size())] = InterestingArc(random);
        break;
    case 1:
        arcs.insert(arcs.begin() + static_cast<std::ptrdiff_t>(Pick(random, arcs.size() + 1)), InterestingArc(random));
        break;
    case 2:
        if (!arcs.empty()) arcs.erase(arcs.begin() + static_cast<std::ptrdiff_t>(Pick(random, arcs.size())));
        break;
    case 3: {
        // Around the longest names a decoder may take.
        static constexpr std::size_t kCounts[] = {0, 1, 2, 127, 128, 129, 255, 256};
        arcs.resize(kCounts[Pick(random, sizeof kCounts / sizeof kCounts[0])], 1);
        break;
    }
    case 4:
        if (!arcs.empty()) padded = Pick(random, arcs.size());
        break;
    default:
        unfinished = true;
        break;
    }
    contents.clear();
    for (std::size_t i = 0; i < arcs.size(); ++i) WriteSubIdentifier(contents, arcs[i], i == padded);
    if (unfinished && !contents.empty()) contents.back() |= 0x80;
    return true;
}

// Raw contents through libFuzzer's byte mutator, with room to grow.
inline void MutateBytes(std::vector<std::uint8_t> &contents, std::size_t maxSize) {
    const std::size_t size = contents.size();
    contents.resize(std::max<std::size_t>(std::min(maxSize, size * 2 + 16), size + 1));
    contents.resize(LLVMFuzzerMutate(contents.data(), size, contents.size()));
}

inline void ResizeOctets(std::vector<std::uint8_t> &contents, Random &random) {
    static constexpr std::size_t kSizes[] = {0, 1, 4, 127, 128, 255, 256, 257, 1000};
    contents.resize(kSizes[Pick(random, sizeof kSizes / sizeof kSizes[0])], static_cast<std::uint8_t>('A' + Pick(random, 26)));
}

inline bool IsNumberTag(std::uint8_t tag) { return tag == 0x02 || (tag >= 0x41 && tag <= 0x43); }

inline BerNode NewPrimitive(Random &random) {
    BerNode node;
    node.tag = InterestingTag(random);
    node.tag = static_cast<std::uint8_t>(node.tag & ~0x20);
    if (IsNumberTag(node.tag)) {
        node.contents = InterestingInteger(random);
    } else if (node.tag == 0x06) {
        node.contents = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};
    } else if (node.tag == 0x40) {
        node.contents = {10, 0, 0, 1};
    } else if (node.tag != 0x05) {
        ResizeOctets(node.contents, random);
    }
    return node;
}

// --- one mutation ----------------------------------------------------------------

inline void ChangeLengthForm(BerNode &node, Random &random) {
    switch (Pick(random, 4)) {
    case 0:
        node.form = LengthForm::kShortest;
        break;
    case 1:
        node.form = LengthForm::kLong;
        node.longOctets = static_cast<std::uint8_t>(1 + Pick(random, 5));  // 5: beyond what a decoder takes
        break;
    case 2:
        node.form = node.hasChildren ? LengthForm::kIndefinite : LengthForm::kLong;
        node.longOctets = 1;
        break;
    default: {
        // A length that lies: one off either way, or far beyond the data.
        static constexpr int kSkews[] = {-1, 1, -2, 2, 0x7F, 0x8000, 0x7FFFFFFF};
        node.lengthSkew = kSkews[Pick(random, sizeof kSkews / sizeof kSkews[0])];
        break;
    }
    }
}

inline void MutateContents(BerNode &node, Random &random, std::size_t maxSize) {
    if (IsNumberTag(node.tag)) {
        if (OneIn(random, 2)) {
            node.contents = InterestingInteger(random);
        } else {
            ChangeIntegerWidth(node.contents, random);
        }
        return;
    }
    if (node.tag == 0x06 && !OneIn(random, 4) && MutateObjectIdentifier(node.contents, random)) return;
    if ((node.tag == 0x04 || node.tag == 0x44) && OneIn(random, 3)) {
        ResizeOctets(node.contents, random);
        return;
    }
    MutateBytes(node.contents, maxSize);
}

// Duplicates, drops or inserts a child (a binding of a list, most often),
// or repeats one many times, towards and past the largest lists allowed.
inline void MutateChildren(BerNode &node, BerTree &tree, Random &random, std::size_t maxSize) {
    auto &children = node.children;
    const auto at = [&](std::size_t index) { return children.begin() + static_cast<std::ptrdiff_t>(index); };
    switch (Pick(random, 5)) {
    case 0:
        if (!children.empty()) {
            const std::size_t index = Pick(random, children.size());
            const BerNode copy = children[index];
            children.insert(at(index), copy);
        }
        break;
    case 1:
        if (!children.empty()) children.erase(at(Pick(random, children.size())));
        break;
    case 2:
        children.insert(at(Pick(random, children.size() + 1)), NewPrimitive(random));
        break;
    case 3: {
        // A copy of any item of the message, somewhere else.
        std::vector<NodeRef> refs = AllNodes(tree);
        const BerNode &source = *refs[1 + Pick(random, refs.size() - 1)].node;
        if (WrittenSize(source) > maxSize) break;
        const BerNode copy = source;
        children.insert(at(Pick(random, children.size() + 1)), copy);
        break;
    }
    default:
        if (!children.empty()) {
            static constexpr std::size_t kCounts[] = {2, 8, 39, 40, 41, 64, 255, 1000};
            const std::size_t count = kCounts[Pick(random, sizeof kCounts / sizeof kCounts[0])];
            const BerNode copy = children[Pick(random, children.size())];
            // Only as many as can still make an input: the copies are not free.
            if (count * WrittenSize(copy) > maxSize) break;
            children.resize(count > children.size() ? count : children.size(), copy);
        }
        break;
    }
}

// Wraps the item in one to many constructed items of its own or another
// identifier: deeper nesting than any decoder expects.
inline void NestDeeper(NodeRef ref, Random &random) {
    static constexpr std::size_t kLevels[] = {1, 2, 8, 32, 60};
    const std::size_t levels = kLevels[Pick(random, sizeof kLevels / sizeof kLevels[0])];
    const std::uint8_t tag = OneIn(random, 2) ? std::uint8_t{0x30} : static_cast<std::uint8_t>(ref.node->tag | 0x20);
    BerNode inner = std::move(*ref.node);
    for (std::size_t i = 0; i < levels; ++i) {
        BerNode outer;
        outer.tag = tag;
        outer.hasChildren = true;
        outer.children.push_back(std::move(inner));
        inner = std::move(outer);
    }
    ref.parent->children[ref.index] = std::move(inner);
}

inline void MutateTree(BerTree &tree, Random &random, std::size_t maxSize) {
    std::vector<NodeRef> refs = AllNodes(tree);
    if (refs.size() < 2) return;
    const NodeRef ref = refs[1 + Pick(random, refs.size() - 1)];
    BerNode &node = *ref.node;
    switch (Pick(random, 8)) {
    case 0:
        // A new identifier, keeping the contents; constructed only when they
        // read as items.
        node.tag = InterestingTag(random);
        if (!node.hasChildren) node.tag = static_cast<std::uint8_t>(node.tag & ~0x20);
        break;
    case 1:
        ChangeLengthForm(node, random);
        break;
    case 2:
        NestDeeper(ref, random);
        break;
    case 3:
        // Drop the item from its parent.
        ref.parent->children.erase(ref.parent->children.begin() + static_cast<std::ptrdiff_t>(ref.index));
        break;
    default:
        if (node.hasChildren) {
            MutateChildren(node, tree, random, maxSize);
        } else {
            MutateContents(node, random, maxSize);
        }
        break;
    }
}

}  // namespace fuzzing

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t *data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    fuzzing::Random random(seed);
    fuzzing::BerTree tree;
    // Now and then plain byte mutation even of a readable message, for what
    // the tree cannot express (cut items, high tag numbers).
    if (fuzzing::OneIn(random, 6) || !fuzzing::ReadTree(data, size, tree)) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    const std::size_t rounds = 1 + fuzzing::Pick(random, 3);
    for (std::size_t i = 0; i < rounds; ++i) fuzzing::MutateTree(tree, random, maxSize);
    const std::vector<std::uint8_t> out = fuzzing::WriteTree(tree);
    if (out.empty() || out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, out.data(), out.size());
    return out.size();
}

// An item of one message put in place of an item of the other.
extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t *data1, std::size_t size1,
                                                 const std::uint8_t *data2, std::size_t size2, std::uint8_t *out,
                                                 std::size_t maxOutSize, unsigned int seed) {
    fuzzing::Random random(seed);
    fuzzing::BerTree first;
    fuzzing::BerTree second;
    if (!fuzzing::ReadTree(data1, size1, first) || !fuzzing::ReadTree(data2, size2, second)) return 0;
    std::vector<fuzzing::NodeRef> into = fuzzing::AllNodes(first);
    std::vector<fuzzing::NodeRef> from = fuzzing::AllNodes(second);
    const fuzzing::NodeRef target = into[1 + fuzzing::Pick(random, into.size() - 1)];
    *target.node = *from[1 + fuzzing::Pick(random, from.size() - 1)].node;
    const std::vector<std::uint8_t> written = fuzzing::WriteTree(first);
    if (written.empty() || written.size() > maxOutSize) return 0;
    std::memcpy(out, written.data(), written.size());
    return written.size();
}
