#include "capture/ConversationRouter.hpp"

#include "parsing/FnvHash.hpp"
#include "capture/CaptureDiag.hpp"
#include "surfaces/SurfaceTraits.hpp"

#include <algorithm>

namespace velmar {

ConversationRouter::ConversationRouter(TurnAssembler::EventHandler onEvent, CaptureDiag* diag,
                                       std::size_t maxConversations)
    : onEvent_(std::move(onEvent)), diag_(diag), maxConversations_(std::max<std::size_t>(maxConversations, 1)) {}

ConversationRouter::~ConversationRouter() = default;

bool ConversationRouter::settledMountsAreHistory(std::string_view surface) {
    return surface == SurfaceKey::perplexity || surface == SurfaceKey::deepseek;
}

ConversationRouter::Result ConversationRouter::route(const std::string& key, const std::string& surface,
                                                     const SegmenterSnapshot& snapshot, TimePoint observedAt,
                                                     bool fromNewChat, const std::optional<std::string>& draft) {
    if (surface == SurfaceKey::claudeDesign) return routeDesign(key, snapshot, observedAt, fromNewChat);

    Result result;
    const SegmenterSnapshot* toProcess = &snapshot;
    if (SurfaceTraits::positionIndexed(surface)) {
        auto& stabilizer = conversations_[key].stabilizer;
        if (!stabilizer) stabilizer = std::make_unique<OrdinalStabilizer>(settledMountsAreHistory(surface));
        StabilizedSnapshot answer = stabilizer->stabilize(snapshot);
        if (answer.kind == StabilizedSnapshot::Kind::reset) {
            // The window contradicts what is known: send what the old state
            // still holds and restart the conversation from this window.
            result.stabilizerReset = true;
            dropAssembler(key, true);
            stabilizer = std::make_unique<OrdinalStabilizer>(settledMountsAreHistory(surface));
            answer = stabilizer->stabilize(snapshot);
        }
        if (answer.kind == StabilizedSnapshot::Kind::skip) result.stabilizerSkip = true;
        if (answer.kind != StabilizedSnapshot::Kind::stabilized) return result;
        result.stabilized = std::move(answer.snapshot);
        toProcess = &*result.stabilized;
    }

    TurnAssembler& assembler = assemblerFor(key, surface, result.newAssembler);
    if (fromNewChat && draft) {
        assembler.cacheDraft(*draft);
        result.draftConsumed = true;
    }
    assembler.process(*toProcess, observedAt, fromNewChat);
    result.processed = true;
    return result;
}

ConversationRouter::Result ConversationRouter::routeDesign(const std::string& key, const SegmenterSnapshot& snapshot,
                                                           TimePoint observedAt, bool fromNewChat) {
    // Claude Design conversations are not assembled into pairs: their prompts
    // go out through the design prompt emitter, one per conversation, which
    // keeps its own table (at most `maxConversations_`; the oldest by last
    // processing is dropped unflushed; dropped unflushed when idle beyond the
    // grace period). They never reach a turn assembler.
    Result result;
    result.route = Result::Route::design;
    designEmitterFor(key).process(snapshot, observedAt, fromNewChat);
    result.processed = true;
    return result;
}

DesignPromptEmitter& ConversationRouter::designEmitterFor(const std::string& key) {
    if (auto it = designEmitters_.find(key); it != designEmitters_.end()) return *it->second.emitter;
    auto& entry = designEmitters_[key];
    entry.emitter = std::make_unique<DesignPromptEmitter>(onEvent_, std::string(SurfaceKey::claudeDesign));
    entry.created = ++designCreated_;
    DesignPromptEmitter& emitter = *entry.emitter;
    if (designEmitters_.size() > maxConversations_) {
        // Drop the least recently processed other emitter; one that never
        // processed counts as the oldest. Nothing is flushed: an emitter holds
        // no unsent prompt.
        auto oldest = designEmitters_.end();
        for (auto it = designEmitters_.begin(); it != designEmitters_.end(); ++it) {
            if (it->first == key) continue;
            if (oldest == designEmitters_.end()) {
                oldest = it;
                continue;
            }
            const auto& a = it->second.emitter->lastProcessedAt();
            const auto& b = oldest->second.emitter->lastProcessedAt();
            const bool older = a != b ? (!a || (b && *a < *b)) : it->second.created < oldest->second.created;
            if (older) oldest = it;
        }
        if (oldest != designEmitters_.end()) designEmitters_.erase(oldest);
    }
    return emitter;
}

bool ConversationRouter::SentPairs::admit(const TurnEvent& event) {
    auto signature = std::make_pair(fnvHash(event.prompt), fnvHash(event.response));
    if (signatures.contains(signature)) return false;
    signatures.insert(signature);
    order.push_back(std::move(signature));
    if (order.size() > maxSentSignatures) {
        signatures.erase(order.front());
        order.pop_front();
    }
    return true;
}

TurnAssembler::EventHandler ConversationRouter::dedupedHandler(const std::shared_ptr<SentPairs>& sent) const {
    // The memory is shared with the conversation's entry, so it outlives
    // assemblers replaced by a stabilizer reset.
    return [sent, onEvent = onEvent_, diag = diag_](const TurnEvent& event) {
        if (!sent->admit(event)) {
            if (diag) diag->bump(event.surface, CaptureDiag::Counter::duplicateSuppressed);
            return;
        }
        onEvent(event);
    };
}

TurnAssembler& ConversationRouter::assemblerFor(const std::string& key, const std::string& surface, bool& created) {
    auto& conversation = conversations_[key];
    if (conversation.assembler) {
        removeFromLru(key);
        lru_.push_back(key);
        created = false;
        return *conversation.assembler;
    }
    conversation.assembler = std::make_unique<TurnAssembler>(surface, dedupedHandler(conversation.sent));
    if (resumeLookup_) conversation.assembler->setResumeLookup(resumeLookup_);
    conversation.firstUse = ++uses_;
    lru_.push_back(key);
    created = true;
    TurnAssembler& assembler = *conversation.assembler;
    evictIfNeeded();  // never evicts `key`: it is the most recent
    return assembler;
}

void ConversationRouter::dropAssembler(const std::string& key, bool flush) {
    auto it = conversations_.find(key);
    if (it == conversations_.end()) return;
    // Detach before flushing so the table is consistent while events go out.
    std::unique_ptr<TurnAssembler> assembler = std::move(it->second.assembler);
    removeFromLru(key);
    if (flush && assembler) assembler->flushAbandoned();
}

void ConversationRouter::removeFromLru(const std::string& key) {
    lru_.erase(std::remove(lru_.begin(), lru_.end(), key), lru_.end());
}

void ConversationRouter::evictIfNeeded() {
    while (lru_.size() > maxConversations_) {
        std::string oldest = lru_.front();
        lru_.pop_front();
        auto it = conversations_.find(oldest);
        if (it == conversations_.end()) continue;
        Conversation evicted = std::move(it->second);
        conversations_.erase(it);
        completion_.forget(oldest);
        if (evicted.assembler) evicted.assembler->flushAbandoned();
    }
}

std::vector<std::string> ConversationRouter::keysByFirstUse() const {
    std::vector<std::pair<std::uint64_t, std::string>> order;
    for (const auto& [key, conversation] : conversations_) {
        if (conversation.assembler) order.emplace_back(conversation.firstUse, key);
    }
    std::sort(order.begin(), order.end());
    std::vector<std::string> keys;
    keys.reserve(order.size());
    for (auto& [use, key] : order) keys.push_back(std::move(key));
    return keys;
}

void ConversationRouter::flushEach() {
    for (const auto& key : keysByFirstUse()) {
        auto it = conversations_.find(key);
        if (it != conversations_.end() && it->second.assembler) it->second.assembler->flushAbandoned();
    }
}

std::vector<std::string> ConversationRouter::flushIdle(TimePoint now, std::chrono::duration<double> grace) {
    std::vector<std::string> flushed;
    for (const auto& key : keysByFirstUse()) {
        auto it = conversations_.find(key);
        const auto& last = it->second.assembler->lastProcessedAt();
        if (!last || std::chrono::duration<double>(now - *last) < grace) continue;
        Conversation idle = std::move(it->second);
        conversations_.erase(it);
        removeFromLru(key);
        idle.assembler->flushAbandoned();
        completion_.forget(key);
        flushed.push_back(key);
    }
    // A design emitter that never processed counts as just used.
    std::erase_if(designEmitters_, [&](const auto& entry) {
        const auto last = entry.second.emitter->lastProcessedAt().value_or(now);
        return std::chrono::duration<double>(now - last) > grace;
    });
    return flushed;
}

void ConversationRouter::stop() {
    designEmitters_.clear();
    completion_ = ReplyCompletion();
    auto conversations = std::move(conversations_);
    conversations_.clear();
    lru_.clear();
    std::vector<std::pair<std::uint64_t, TurnAssembler*>> order;
    for (auto& [key, conversation] : conversations) {
        if (conversation.assembler) order.emplace_back(conversation.firstUse, conversation.assembler.get());
    }
    std::sort(order.begin(), order.end());
    for (auto& [use, assembler] : order) assembler->flushAbandoned();
}

const TurnAssembler* ConversationRouter::assembler(const std::string& key) const {
    auto it = conversations_.find(key);
    return it == conversations_.end() ? nullptr : it->second.assembler.get();
}

void ConversationRouter::judgeCompletion(const std::string& key, SegmenterSnapshot& read, TimePoint now,
                                         const std::function<bool()>& stopShown,
                                         std::optional<TimePoint> lastNotified, const ReadAgainHandler& readAgain) {
    const auto verdict = completion_.judge(key, read, now, stopShown, lastNotified);
    read.responseComplete = verdict.complete;
    if (verdict.readAgain && readAgain) readAgain(*verdict.readAgain);
}

const DesignPromptEmitter* ConversationRouter::designEmitter(const std::string& key) const {
    auto it = designEmitters_.find(key);
    return it == designEmitters_.end() ? nullptr : it->second.emitter.get();
}

const OrdinalStabilizer* ConversationRouter::stabilizer(const std::string& key) const {
    auto it = conversations_.find(key);
    return it == conversations_.end() ? nullptr : it->second.stabilizer.get();
}

}  // namespace velmar
