// SPDX-License-Identifier: Apache-2.0
// The process-wide request-id counter.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "transact/request_id.h"

namespace snmphelper {
namespace {

TEST(RequestId, StartsAtOneAfterReset) {
    ResetRequestIds();
    EXPECT_EQ(NextRequestId(), 1);
    EXPECT_EQ(NextRequestId(), 2);
}

// Unpredictable: another host cannot count on the first id being 1. Once per
// load: the ids go on from there, one by one.
TEST(RequestId, AnUnpredictableStartMovesTheCounterOncePerLoad) {
    std::vector<std::int32_t> firsts;
    for (int load = 0; load < 4; ++load) {
        ResetRequestIds();
        StartRequestIdsUnpredictably();
        const std::int32_t first = NextRequestId();
        StartRequestIdsUnpredictably();
        EXPECT_EQ(NextRequestId(), first + 1);
        firsts.push_back(first);
    }
    std::sort(firsts.begin(), firsts.end());
    EXPECT_EQ(std::unique(firsts.begin(), firsts.end()), firsts.end()) << "the same start twice in four loads";
    EXPECT_NE(firsts.front(), 1);
    ResetRequestIds();
    EXPECT_EQ(NextRequestId(), 1);
}

TEST(RequestId, ThreadsTakingIdsAtOnceNeverShareOne) {
    ResetRequestIds();
    constexpr int kThreads = 8;
    constexpr int kIdsPerThread = 20000;
    std::vector<std::vector<std::int32_t>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&taken, t] {
            for (int i = 0; i < kIdsPerThread; ++i) taken[t].push_back(NextRequestId());
        });
    }
    for (std::thread &thread : threads) thread.join();

    std::vector<std::int32_t> all;
    for (const auto &ids : taken) all.insert(all.end(), ids.begin(), ids.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a request-id was taken twice";
    EXPECT_EQ(all.front(), 1);
    EXPECT_EQ(all.back(), kThreads * kIdsPerThread);
}

}  // namespace
}  // namespace snmphelper
