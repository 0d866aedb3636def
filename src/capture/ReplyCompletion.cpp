#include "capture/ReplyCompletion.hpp"

#include <xxhash.h>

#include <algorithm>

namespace velmar {

namespace {

std::string textHash(const SegmenterSnapshot& read) {
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    for (const auto& turn : read.turns) {
        const std::string head = std::to_string(turn.index) + '\x1f' + turn.role + '\x1f';
        XXH3_64bits_update(state, head.data(), head.size());
        XXH3_64bits_update(state, turn.text.data(), turn.text.size());
        XXH3_64bits_update(state, "\x1e", 1);
    }
    const auto h = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return std::to_string(h);
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

    if (!read.responseComplete) {
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
