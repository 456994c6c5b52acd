// The reply's rules on the input a serial line really delivers: one byte at
// a time, split anywhere, the count byte alone, bytes after the reply.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "device/reply_assembler.h"

namespace vark {
namespace {

using State = ReplyAssembler::State;

constexpr std::uint8_t kSentinel = 0xC5;

// The receive area with a fenced tail, so a write past it shows.
struct Area {
    Area() : bytes(kBlockSize + 64, kSentinel) {}
    std::uint8_t* data() { return bytes.data(); }
    bool TailIntact() const {
        for (std::size_t i = kBlockSize; i < bytes.size(); ++i) {
            if (bytes[i] != kSentinel) {
                return false;
            }
        }
        return true;
    }
    std::vector<std::uint8_t> bytes;
};

// Count byte n, then n records whose bytes all differ from the sentinel.
std::vector<std::uint8_t> Reply(int n, std::size_t extra = 0) {
    std::vector<std::uint8_t> r(1 + kRecordSize * n + extra);
    r[0] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 1; i < r.size(); ++i) {
        r[i] = static_cast<std::uint8_t>(i * 7 % 251);
    }
    return r;
}

TEST(ReplyAssembler, OneByteAtATimeCompletesAt249TimesNAndKeepsTheLastByte) {
    for (int n : {1, 2, 30, 100}) {
        SCOPED_TRACE(n);
        Area area;
        ReplyAssembler a(area.data());
        const auto reply = Reply(n, 5);
        const std::size_t full = 1 + kRecordSize * n;
        std::size_t taken = 0;
        for (std::size_t i = 0; i < reply.size(); ++i) {
            taken += a.Feed(&reply[i], 1);
            const std::size_t in = std::min(i + 1, full);
            EXPECT_EQ(a.Received(), in);
            // Complete once 249 x N bytes are in, count byte included.
            EXPECT_EQ(a.state(), in >= kRecordSize * n ? State::Complete : State::Pending) << i;
            EXPECT_EQ(a.Whole(), in == full);
            if (a.state() == State::Complete) {
                EXPECT_EQ(a.Progress(), -1);
            }
        }
        EXPECT_EQ(taken, full) << "bytes after the reply are not taken";
        EXPECT_EQ(a.Wanted(), 0u);
        EXPECT_EQ(std::memcmp(area.data(), reply.data(), full), 0);
        EXPECT_EQ(area.bytes[full], kSentinel);
        EXPECT_TRUE(area.TailIntact());
    }
}

TEST(ReplyAssembler, EverySplitGivesTheSameArea) {
    const auto reply = Reply(2, 3);
    const std::size_t full = 1 + 2 * kRecordSize;
    for (std::size_t cut = 0; cut <= reply.size(); ++cut) {
        Area area;
        ReplyAssembler a(area.data());
        std::size_t taken = a.Feed(reply.data(), cut);
        taken += a.Feed(reply.data() + taken, reply.size() - taken);
        ASSERT_EQ(taken, full) << cut;
        ASSERT_TRUE(a.Whole()) << cut;
        ASSERT_EQ(std::memcmp(area.data(), reply.data(), full), 0) << cut;
        ASSERT_EQ(area.bytes[full], kSentinel) << cut;
    }
}

TEST(ReplyAssembler, CountByteAloneWaitsForTheRecords) {
    Area area;
    ReplyAssembler a(area.data());
    EXPECT_EQ(a.Wanted(), 1u) << "the count byte is read alone first";
    EXPECT_EQ(a.Progress(), -1);
    const std::uint8_t three = 3;
    EXPECT_EQ(a.Feed(&three, 1), 1u);
    EXPECT_TRUE(a.HasCount());
    EXPECT_EQ(a.Count(), 3);
    EXPECT_EQ(a.state(), State::Pending);
    EXPECT_EQ(a.Wanted(), 3 * kRecordSize);
    EXPECT_EQ(a.Progress(), 0);
    EXPECT_EQ(area.bytes[0], 3);
    EXPECT_EQ(area.bytes[1], kSentinel);
    EXPECT_EQ(a.Feed(&three, 0), 0u);
    EXPECT_EQ(a.Received(), 1u);
}

TEST(ReplyAssembler, CountZeroIsWholeAtOnce) {
    Area area;
    ReplyAssembler a(area.data());
    const auto reply = Reply(0, 10);
    EXPECT_EQ(a.Feed(reply.data(), reply.size()), 1u);
    EXPECT_EQ(a.state(), State::Complete);
    EXPECT_TRUE(a.Whole());
    EXPECT_EQ(a.Progress(), -1);
    EXPECT_EQ(area.bytes[0], 0);
    EXPECT_EQ(area.bytes[1], kSentinel);
}

TEST(ReplyAssembler, CountsAbove100AreRefusedAndStoreNothing) {
    for (int count : {101, 255}) {
        Area area;
        ReplyAssembler a(area.data());
        std::vector<std::uint8_t> reply(600, 0x11);
        reply[0] = static_cast<std::uint8_t>(count);
        EXPECT_EQ(a.Feed(reply.data(), reply.size()), 1u);
        EXPECT_EQ(a.state(), State::Refused);
        EXPECT_EQ(a.Wanted(), 0u);
        EXPECT_EQ(a.Feed(reply.data() + 1, reply.size() - 1), 0u);
        EXPECT_EQ(area.bytes[0], 0) << "no impossible count is left in the area";
        EXPECT_EQ(area.bytes[1], kSentinel);
        EXPECT_EQ(a.Progress(), -1);
    }
    // 100 is the largest reply and fills the area exactly.
    Area area;
    ReplyAssembler a(area.data());
    const auto reply = Reply(100, 40);
    EXPECT_EQ(a.Feed(reply.data(), reply.size()), kBlockSize);
    EXPECT_TRUE(a.Whole());
    EXPECT_TRUE(area.TailIntact());
}

// The progress values a record-at-a-time reply reports.
std::vector<int> ProgressOf(int n) {
    Area area;
    ReplyAssembler a(area.data());
    const auto reply = Reply(n);
    std::vector<int> values;
    std::size_t at = a.Feed(reply.data(), 1);
    while (a.state() == State::Pending) {
        if (const int v = a.Progress(); v >= 0) {
            values.push_back(v);
        }
        at += a.Feed(reply.data() + at, kRecordSize);
    }
    return values;
}

TEST(ReplyAssembler, ProgressFollowsTheCountRule) {
    // Below 40 records every pass reports, up to 19.
    const auto thirty = ProgressOf(30);
    ASSERT_EQ(thirty.size(), 30u);
    EXPECT_EQ(thirty.front(), 0);
    EXPECT_EQ(thirty.back(), 19);
    EXPECT_EQ(thirty[15], 10);
    // 100 records: only while fewer than 20 are in, values 0 to 3.
    const auto hundred = ProgressOf(100);
    ASSERT_EQ(hundred.size(), 20u);
    EXPECT_EQ(hundred.front(), 0);
    EXPECT_EQ(hundred.back(), 3);
    // 45 records: (45 / 20) x k < 45 holds for k up to 22.
    const auto many = ProgressOf(45);
    ASSERT_EQ(many.size(), 23u);
    EXPECT_EQ(many.back(), 20 * 22 / 45);
    EXPECT_TRUE(ProgressOf(1) == std::vector<int>{0});
}

TEST(ReplyAssembler, RandomPiecesNeverWritePastTheArea) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        Area area;
        ReplyAssembler a(area.data());
        std::vector<std::uint8_t> input(kBlockSize + 300);
        for (auto& b : input) {
            b = static_cast<std::uint8_t>(rng());
        }
        input[0] = static_cast<std::uint8_t>(rng() % 110);
        std::size_t at = 0;
        while (at < input.size()) {
            const std::size_t piece = std::min<std::size_t>(rng() % 700, input.size() - at);
            const std::size_t taken = a.Feed(input.data() + at, piece);
            ASSERT_LE(taken, piece);
            if (taken < piece) {
                at += taken;
                break;  // the rest is past the reply
            }
            at += taken;
        }
        ASSERT_TRUE(area.TailIntact());
        if (input[0] > kMaxRecords) {
            ASSERT_EQ(a.state(), State::Refused);
        } else {
            ASSERT_TRUE(a.Whole());
            ASSERT_EQ(at, 1 + kRecordSize * input[0]);
        }
        a.Reset();
        EXPECT_EQ(a.Received(), 0u);
        EXPECT_EQ(a.state(), State::Pending);
    }
}

}  // namespace
}  // namespace vark
