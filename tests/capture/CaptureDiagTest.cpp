#include "capture/CaptureDiag.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace velmar {
namespace {

using C = CaptureDiag::Counter;
const TimePoint t0 = TimePoint{} + std::chrono::seconds(1767225600);

std::int64_t sent(const CaptureDiag::Delta& d, std::string_view surface, C counter) {
    for (const auto& entry : d.stats)
        if (entry.surface == surface) return entry.counts.contains(counter) ? entry.counts.at(counter) : 0;
    return 0;
}

TEST(CaptureDiag, BumpIgnoresNothingToCountCapsAtOneMillionAndTheWindowIsClamped) {
    CaptureDiag diag(t0);
    diag.bump("gemini", C::parsedOk, 999'999);
    diag.bump("gemini", C::parsedOk, 5);
    diag.bump("gemini", C::parsedOk, 0);
    diag.bump("gemini", C::roleUnknown, -3);
    diag.bump("", C::parsedOk, 1);
    EXPECT_EQ(diag.count("gemini", C::parsedOk), 1'000'000);
    EXPECT_EQ(diag.count("gemini", C::roleUnknown), 0);

    auto d = diag.snapshotDeltas(t0 + 1s);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->stats.size(), 1u);
    EXPECT_EQ(d->stats[0].surface, "gemini");
    EXPECT_EQ(d->stats[0].windowSeconds, 1);
    EXPECT_EQ(d->stats[0].counts, (std::map<C, std::int64_t>{{C::parsedOk, 1'000'000}}));

    CaptureDiag now(t0), late(t0);  // the window is kept between a second and seven days
    for (auto* diag : {&now, &late}) diag->bump("deepseek", C::parserNil);
    EXPECT_EQ(now.snapshotDeltas(t0)->windowSeconds, 1);
    EXPECT_EQ(late.snapshotDeltas(t0 + 24h * 10)->windowSeconds, 604'800);
}

// Whatever happens to batches (answered, refused, never answered, answered
// late), every count reaches an acknowledged batch exactly once.
TEST(CaptureDiag, CountsAreConservedThroughLossRetryAndAcknowledgement) {
    CaptureDiag diag(t0);
    std::int64_t acknowledged = 0;
    std::int64_t counted = 0;
    auto count = [&](std::int64_t n) {
        diag.bump("chatgpt", C::verdictOk, n);
        counted += n;
    };

    count(3);
    auto lost = diag.snapshotDeltas(t0 + 10s);  // never answered
    ASSERT_TRUE(lost);
    count(4);
    auto retried = diag.snapshotDeltas(t0 + 20s);  // carries the lost batch too
    ASSERT_TRUE(retried);
    EXPECT_EQ(retried->seq, lost->seq + 1);
    EXPECT_EQ(sent(*retried, "chatgpt", C::verdictOk), 7);
    EXPECT_EQ(retried->windowSeconds, 20);  // the older window start
    diag.ack(lost->seq);                    // a late answer for an old batch changes nothing
    diag.nack(retried->seq);                // refused: counted again next time
    count(1);
    auto third = diag.snapshotDeltas(t0 + 30s);
    ASSERT_TRUE(third);
    EXPECT_EQ(sent(*third, "chatgpt", C::verdictOk), 8);
    diag.ack(third->seq);
    acknowledged += sent(*third, "chatgpt", C::verdictOk);
    diag.ack(third->seq);  // twice: nothing more

    EXPECT_FALSE(diag.snapshotDeltas(t0 + 40s)) << "nothing new, no batch and no sequence number";
    count(2);
    auto fourth = diag.snapshotDeltas(t0 + 50s);
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->seq, third->seq + 1);
    EXPECT_EQ(fourth->windowSeconds, 20);  // window restarted at the third batch
    diag.ack(fourth->seq);
    acknowledged += sent(*fourth, "chatgpt", C::verdictOk);
    EXPECT_EQ(acknowledged, counted);
}

TEST(CaptureDiag, BatchesListSurfacesInKeyOrderAndKeepWhatDoesNotFitForTheNext) {
    CaptureDiag diag(t0);
    for (int i = 13; i >= 0; --i) diag.bump("s" + std::to_string(100 + i), C::parsedOk, i + 1);
    auto first = diag.snapshotDeltas(t0 + 5s);
    ASSERT_EQ(first->stats.size(), 12u);
    EXPECT_EQ(first->stats.front().surface, "s100");
    EXPECT_EQ(first->stats.back().surface, "s111");
    diag.ack(first->seq);
    auto rest = diag.snapshotDeltas(t0 + 6s);
    ASSERT_TRUE(rest) << "the two surfaces beyond the limit were not acknowledged unseen";
    ASSERT_EQ(rest->stats.size(), 2u);
    EXPECT_EQ(rest->stats[0].counts.at(C::parsedOk), 13);
    EXPECT_EQ(rest->stats[1].counts.at(C::parsedOk), 14);
}

}  // namespace
}  // namespace velmar
