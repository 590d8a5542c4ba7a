// SPDX-License-Identifier: Apache-2.0
// A column walk with its names as text and as contents: the same requests,
// the same cells, and a reply name in redundant octets read by its arcs.
#include "tools/cli/column_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec/ber_encode.h"
#include "codec/pdu_encoder.h"

namespace snmphelper::cli {
namespace {

constexpr char kLevel[] = "1.3.6.1.2.1.43.11.1.1.9";  // prtMarkerSuppliesLevel

std::string Contents(const std::string &text) {
    std::uint8_t contents[kOidScratchSize];
    const int octets = OidTextToBer(contents, kOidScratchSize, text.c_str());
    return octets > 0 ? std::string(reinterpret_cast<const char *>(contents), static_cast<std::size_t>(octets))
                      : std::string();
}

// One reply of INTEGER bindings, each named as `names` says.
struct Reply {
    std::vector<std::string> names;
    std::vector<std::int32_t> values;
    std::vector<SnmpVarBind> bindings;
    SnmpReqParam record{};

    Reply(std::vector<std::string> named, std::vector<std::int32_t> numbers)
        : names(std::move(named)), values(std::move(numbers)) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            SnmpVarBind binding{};
            binding.oid = names[i].data();
            binding.oidLength = static_cast<std::uint16_t>(names[i].size());
            binding.valueType = SNMP_VALUE_INTEGER;
            binding.value = reinterpret_cast<std::uint8_t *>(&values[i]);
            binding.valueLength = sizeof(std::int32_t);
            bindings.push_back(binding);
        }
        record.pduType = SNMP_PDU_GET_RESPONSE;
        record.varBindCount = static_cast<std::uint16_t>(bindings.size());
        record.varBinds = bindings.data();
    }
    const SnmpReqParam *Record() const { return &record; }
};

TEST(ColumnWalkTest, NamesAsTextOrContentsWalkAlike) {
    for (const NameForm names : {NameForm::Text, NameForm::Encoded}) {
        SCOPED_TRACE(names == NameForm::Text ? "text" : "contents");
        const auto name = [names](const std::string &text) { return names == NameForm::Text ? text : Contents(text); };
        ColumnWalk walk(ColumnWalk::Prepare({kLevel}), names);
        RequestIdentifiers request;
        ASSERT_TRUE(walk.Next(request));
        ASSERT_EQ(request.Bindings().size(), 1u);
        EXPECT_EQ(std::string(request.Bindings()[0].oid, request.Bindings()[0].oidLength), name(kLevel));
        walk.Take(0, Reply({name(std::string(kLevel) + ".1.1")}, {70}).Record());

        ASSERT_TRUE(walk.Next(request));
        EXPECT_EQ(std::string(request.Bindings()[0].oid, request.Bindings()[0].oidLength),
                  name(std::string(kLevel) + ".1.1"));
        // prtMarkerSuppliesLevel.1.2 with its "43" in two octets, as a lax
        // agent may write it: the same arcs.
        const std::string redundant = names == NameForm::Text
                                          ? std::string(kLevel) + ".1.2"
                                          : std::string("\x2B\x06\x01\x02\x01\x80\x2B\x0B\x01\x01\x09\x01\x02", 13);
        walk.Take(0, Reply({redundant}, {55}).Record());

        ASSERT_TRUE(walk.Next(request));
        EXPECT_EQ(std::string(request.Bindings()[0].oid, request.Bindings()[0].oidLength),
                  name(std::string(kLevel) + ".1.2"));
        // The next column: this one has ended.
        walk.Take(0, Reply({name("1.3.6.1.2.1.43.11.1.1.10.1.1")}, {1}).Record());
        EXPECT_FALSE(walk.Next(request));

        const ColumnWalkResult &result = walk.Result();
        EXPECT_EQ(result.result, 0);
        EXPECT_EQ(result.transactions, 3u);
        const auto cells = result.Cells(0);
        ASSERT_EQ(cells.size(), 2u);
        EXPECT_EQ(std::vector<std::uint64_t>(cells[0].index.begin(), cells[0].index.end()),
                  (std::vector<std::uint64_t>{1, 1}));
        EXPECT_EQ(std::vector<std::uint64_t>(cells[1].index.begin(), cells[1].index.end()),
                  (std::vector<std::uint64_t>{1, 2}));
    }
}

// A get's identifiers given as text go into a request of contents as their
// contents; text that is no identifier gets an empty name, which the
// engines refuse.
TEST(ColumnWalkTest, TextIdentifiersInARequestOfContents) {
    RequestIdentifiers request;
    request.Clear(NameForm::Encoded);
    request.AddText("1.3.6.1.2.1.1.5.0");
    request.AddText("1.3.x");
    request.Add(Contents("1.3.6.1.2.1.2"), std::vector<std::uint64_t>{0, 200, 4294967295u});
    const auto bindings = request.Bindings();
    ASSERT_EQ(bindings.size(), 3u);
    EXPECT_EQ(std::string(bindings[0].oid, bindings[0].oidLength), Contents("1.3.6.1.2.1.1.5.0"));
    EXPECT_EQ(bindings[1].oidLength, 0u);
    EXPECT_EQ(std::string(bindings[2].oid, bindings[2].oidLength), Contents("1.3.6.1.2.1.2.0.200.4294967295"));
}

}  // namespace
}  // namespace snmphelper::cli
