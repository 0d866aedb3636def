#include "capture/ReplyCompletion.hpp"

#include <xxhash.h>

#include <algorithm>
#include <vector>

namespace velmar {

namespace {

// One hash per turn (its text, seeded with its place and role), then one of
// those: a long conversation costs a call per turn, not several.
std::string textHash(const SegmenterSnapshot& read) {
    std::vector<XXH64_hash_t> turns;
    turns.reserve(read.turns.size());
    for (const auto& turn : read.turns) {
        const auto seed = XXH3_64bits_withSeed(turn.role.data(), turn.role.size(), static_cast<XXH64_hash_t>(turn.index));
        turns.push_back(XXH3_64bits_withSeed(turn.text.data(), turn.text.size(), seed));
    }
    return std::to_string(XXH3_64bits(turns.data(), turns.size() * sizeof(XXH64_hash_t)));
}

// A reply's bubble can stand empty for seconds while the product thinks (the
// Workspace panel's); an empty last reply is not an answer, so it waits as an
// unfinished one would. A reply that never comes leaves its prompt to go
// unanswered when the next prompt follows or the conversation is left.
bool endsInEmptyReply(const SegmenterSnapshot& read) {
    if (read.turns.empty()) return false;
    const auto last = std::max_element(read.turns.begin(), read.turns.end(),
                                       [](const RawTurn& a, const RawTurn& b) { return a.index < b.index; });
    return last->role == "assistant" && last->text.empty() && last->producedArtifact != true;
}

}  // namespace

ReplyCompletion::Verdict ReplyCompletion::judge(const std::string& key, const SegmenterSnapshot& read, TimePoint now,
                                                const std::function<bool()>& stopShown,
                                                std::optional<TimePoint> lastNotified) {
    if (!watched_.contains(key) && watched_.size() >= maxWatched) watched_.clear();
    std::string hash = textHash(read);
    auto [it, fresh] = watched_.try_emplace(key, Watch{hash, now, now});
    Watch& watch = it->second;
    if (!fresh && watch.textHash != hash) {
        // Changed after the last read; if a notification came since, no later than it.
        const bool notifiedSince = lastNotified && *lastNotified > watch.readAt;
        watch = Watch{std::move(hash), notifiedSince ? std::min(*lastNotified, now) : now, now};
    } else if (!fresh) {
        watch.readAt = now;
        watch.readTwice = true;
    }

    if (!read.responseComplete || endsInEmptyReply(read)) {
        if (watch.rechecks >= unfinishedRechecks) return {false, std::nullopt};
        return {false, ReadAgain{now + stopRecheck * (1 << watch.rechecks++), true}};
    }
    if (!watch.readTwice || now - watch.since < stableFor) {
        return {false, ReadAgain{std::max(watch.since + stableFor, now)}};
    }
    if (!watch.stopChecked) {
        if (stopShown && stopShown()) return {false, ReadAgain{now + stopRecheck}};
        watch.stopChecked = true;
    }
    return {true, std::nullopt};
}

}  // namespace velmar
