#include "capture/ReplyCompletion.hpp"

#include <xxhash.h>

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
                                                const std::function<bool()>& stopShown) {
    if (!watched_.contains(key) && watched_.size() >= maxWatched) watched_.clear();
    std::string hash = textHash(read);
    auto [it, fresh] = watched_.try_emplace(key, Watch{hash, now});
    Watch& watch = it->second;
    if (!fresh && watch.textHash != hash) watch = Watch{std::move(hash), now};

    if (!read.responseComplete) {
        if (watch.rechecks >= unfinishedRechecks) return {false, std::nullopt};
        return {false, ReadAgain{now + stopRecheck * (1 << watch.rechecks++), true}};
    }
    if (now - watch.since < stableFor) return {false, ReadAgain{watch.since + stableFor}};
    if (!watch.stopChecked) {
        if (stopShown && stopShown()) return {false, ReadAgain{now + stopRecheck}};
        watch.stopChecked = true;
    }
    return {true, std::nullopt};
}

}  // namespace velmar
