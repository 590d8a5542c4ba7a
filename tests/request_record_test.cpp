// SPDX-License-Identifier: Apache-2.0
// HelperFreeReqParam and HelperFreeBlock: what a release visits and frees.
#include <gtest/gtest.h>

#include "platform/heap.h"
#include "snmphelper.h"

namespace snmphelper {
namespace {

template <typename T>
T *Block(std::size_t size) {
    return static_cast<T *>(platform::HeapAllocZero(size));
}

class FreeReqParamTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(platform::HeapLiveBlocks(), liveBefore_) << "leaked blocks";
    }

    const std::int64_t liveBefore_ = platform::HeapLiveBlocks();
};

TEST_F(FreeReqParamTest, NullRecordAndNullBlock) {
    HelperFreeReqParam(nullptr);
    HelperFreeBlock(nullptr);
}

TEST_F(FreeReqParamTest, ArrayIsFreedWhenCountIsZero) {
    auto *record = Block<SnmpReqParam>(sizeof(SnmpReqParam));
    record->varBinds = Block<SnmpVarBind>(sizeof(SnmpVarBind) * 40);
    HelperFreeReqParam(record);
}

TEST_F(FreeReqParamTest, EntriesWithOneBlockMissing) {
    auto *record = Block<SnmpReqParam>(sizeof(SnmpReqParam));
    record->community = Block<char>(256);
    record->varBinds = Block<SnmpVarBind>(sizeof(SnmpVarBind) * 40);
    record->varBinds[0].oid = Block<char>(512);          // value missing
    record->varBinds[1].value = Block<std::uint8_t>(8);  // oid missing
    record->varBinds[2].oid = Block<char>(512);
    record->varBinds[2].value = Block<std::uint8_t>(8);
    record->varBindCount = 3;
    HelperFreeReqParam(record);
}

TEST_F(FreeReqParamTest, OnlyTheCountedEntriesAreVisited) {
    auto *record = Block<SnmpReqParam>(sizeof(SnmpReqParam));
    record->varBinds = Block<SnmpVarBind>(sizeof(SnmpVarBind) * 40);
    record->varBinds[0].oid = Block<char>(512);
    // Not a block: must not be touched because the count stops before it.
    char notABlock[4] = {};
    record->varBinds[1].oid = notABlock;
    record->varBindCount = 1;
    HelperFreeReqParam(record);
}

TEST_F(FreeReqParamTest, CountWithoutArrayIsHarmless) {
    auto *record = Block<SnmpReqParam>(sizeof(SnmpReqParam));
    record->varBindCount = 5;
    HelperFreeReqParam(record);
}

TEST_F(FreeReqParamTest, SingleBlock) {
    HelperFreeBlock(platform::HeapAllocZero(16));
}

}  // namespace
}  // namespace snmphelper
