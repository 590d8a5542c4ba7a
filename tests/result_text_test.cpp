// SPDX-License-Identifier: Apache-2.0
// HelperResultText: every result code the header defines, and every one the
// exports hand on from the DLC interface and the configuration store, has a
// text of its own; any other number the generic one; never null.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "snmphelper.h"

namespace snmphelper {
namespace {

constexpr char kUnknown[] = "unknown result code";

// The header's result codes: each "#define SNMP_RESULT_*, SNMP_ENCODE_* or
// SNMP_DLC_* number".
std::map<std::string, std::int32_t> HeaderResultCodes() {
    std::ifstream header(std::string(SNMPHELPER_TEST_SOURCE_DIR) + "/include/snmphelper.h");
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    static const std::regex define("#define (SNMP_(RESULT|ENCODE|DLC)_[A-Z_]+) \\(?(-?[0-9]+)\\)?");
    std::map<std::string, std::int32_t> codes;
    for (std::sregex_iterator it(source.begin(), source.end(), define), end; it != end; ++it) {
        codes[(*it)[1]] = std::stoi((*it)[3]);
    }
    return codes;
}

TEST(ResultText, EveryCodeTheHeaderDefinesHasItsOwnText) {
    const std::map<std::string, std::int32_t> codes = HeaderResultCodes();
    // Transport and printer record, DLC, encoder, transaction and Ex codes.
    ASSERT_GE(codes.size(), 29u);
    for (const auto &[name, code] : codes) {
        SCOPED_TRACE(name);
        const char *text = HelperResultText(code);
        ASSERT_NE(text, nullptr);
        EXPECT_STRNE(text, kUnknown);
        EXPECT_GT(std::strlen(text), 5u);
    }
}

// Numbers outside the header that callers still meet: the configuration
// store's Windows error numbers.
TEST(ResultText, ConfigurationStoreCodesAndSharedNumbers) {
    for (std::int32_t code : {2, 3, 5, 8, 87, 234, 1009, 1012, 1013, 1018}) {
        SCOPED_TRACE(code);
        EXPECT_NE(std::string(HelperResultText(code)).find("configuration store: "), std::string::npos);
    }
    // A number shared by families names each of them.
    const std::string two = HelperResultText(2);
    EXPECT_NE(two.find("encoder: "), std::string::npos) << two;
    EXPECT_NE(two.find("DLC: "), std::string::npos) << two;
    EXPECT_STREQ(HelperResultText(SNMP_RESULT_OK), "success");
}

TEST(ResultText, DistinctCodesHaveDistinctTexts) {
    std::set<std::string> texts;
    const std::map<std::string, std::int32_t> codes = HeaderResultCodes();
    std::set<std::int32_t> numbers;
    for (const auto &entry : codes) numbers.insert(entry.second);
    for (std::int32_t code : numbers) EXPECT_TRUE(texts.insert(HelperResultText(code)).second) << code;
}

TEST(ResultText, AnyOtherNumberIsUnknownAndNeverNull) {
    for (std::int32_t code : {-1, 6, 9, 20000, 20003, 20049, 25002, 25013, 25016, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(code);
        ASSERT_NE(HelperResultText(code), nullptr);
        EXPECT_STREQ(HelperResultText(code), kUnknown);
    }
}

}  // namespace
}  // namespace snmphelper
