#include "ax/FixtureDecoder.hpp"

#include "json/JsonDecoding.hpp"

#include <algorithm>
#include <array>
#include <span>

namespace velmar {

namespace jd = jsondecode;

namespace {

// Members in the order a field-by-field decoding reads them; a member's
// number is its place in this list plus one.
constexpr std::array<std::string_view, 3> kRootFields = {"meta", "expect", "tree"};
constexpr std::array<std::string_view, 5> kMetaFields = {"surface", "scenario", "recordedAt", "agentVersion",
                                                         "browser"};
constexpr std::array<std::string_view, 8> kExpectFields = {
    "turnCount",          "roles",     "modelPresent",    "responseComplete", "conversationKeyPresent",
    "usedParityFallback", "inProject", "producedArtifact"};
constexpr std::array<std::string_view, 9> kNodeFields = {"role",        "subrole",      "value", "title",   "description",
                                                         "placeholder", "domClassList", "url",   "children"};

enum RootField : std::uint8_t { kMeta = 1, kExpect, kTree };
enum MetaField : std::uint8_t { kSurface = 1, kScenario, kRecordedAt, kAgentVersion, kBrowser };
enum ExpectField : std::uint8_t {
    kTurnCount = 1, kRoles, kModelPresent, kResponseComplete, kConversationKeyPresent, kUsedParityFallback,
    kInProject, kProducedArtifact
};
enum NodeField : std::uint8_t {
    kRole = 1, kSubrole, kValue, kTitle, kDescription, kPlaceholder, kClassList, kUrl, kChildren
};

constexpr FixtureNode::Text kNodeTexts[] = {
    FixtureNode::Text::subrole, FixtureNode::Text::value,       FixtureNode::Text::title,
    FixtureNode::Text::description, FixtureNode::Text::placeholder};

std::uint32_t bit(std::uint8_t field) { return 1u << field; }

}  // namespace

std::span<const std::string_view> FixtureDecoder::fieldsOf(Context context) {
    switch (context) {
        case Context::root: return kRootFields;
        case Context::meta: return kMetaFields;
        case Context::expect: return kExpectFields;
        case Context::node: return kNodeFields;
        default: return {};
    }
}

void FixtureDecoder::push(Context context, bool object, FixtureNode* node) {
    Frame f;
    f.context = context;
    f.object = object;
    f.node = node;
    f.firstUnknown = unknownKeys_.size();
    frames_.push_back(f);
}

void FixtureDecoder::pop() {
    unknownKeys_.resize(frames_.back().firstUnknown);
    frames_.pop_back();
    if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
}

void FixtureDecoder::startNode(FixtureNodePtr node) {
    FixtureNode* raw = node.get();
    if (frames_.empty()) root_ = std::move(node);
    else if (frames_.back().context == Context::children) pendingChildren_.push_back(std::move(node));
    else doc_.tree = root_ = std::move(node);
    push(Context::node, true, raw);
}

// --- places, paths and problems -------------------------------------------

std::string FixtureDecoder::framePath(std::size_t depth) const {
    std::string path = nodeOnly_ ? nodePath_ : "";
    for (std::size_t i = 0; i < depth; ++i) {
        const Frame& f = frames_[i];
        if (!f.object) {
            path = jd::element(path, f.index);
        } else if (f.field) {
            path = jd::child(path, fieldsOf(f.context)[f.field - 1]);
        } else {
            // The current unknown member of frame i is the last unknown key
            // recorded before frame i + 1 opened.
            const std::size_t end = i + 1 < frames_.size() ? frames_[i + 1].firstUnknown : unknownKeys_.size();
            path = jd::child(path, unknownKeys_[end - 1]);
        }
    }
    return path;
}

std::string FixtureDecoder::slotPath() const { return framePath(frames_.size()); }

std::string FixtureDecoder::path() const { return slotPath(); }

std::vector<std::uint32_t> FixtureDecoder::slotRank() const {
    std::vector<std::uint32_t> rank;
    rank.reserve(frames_.size() + 2);
    for (const Frame& f : frames_) rank.push_back(f.object ? f.field : static_cast<std::uint32_t>(f.index + 1));
    return rank;
}

void FixtureDecoder::problem(std::vector<std::uint32_t> rank, std::string message) {
    if (!firstProblem_ || rank < firstProblem_->first) firstProblem_.emplace(std::move(rank), std::move(message));
}

void FixtureDecoder::wrongType(const char* what) {
    auto rank = slotRank();
    rank.push_back(0);
    problem(std::move(rank), "expected " + std::string(what) + " at " + jd::describe(slotPath()));
}

void FixtureDecoder::missing(std::uint8_t field) {
    auto rank = slotRank();
    rank.back() = field;
    rank.push_back(0);
    const auto& f = frames_.back();
    problem(std::move(rank), "missing key at " + jd::child(framePath(frames_.size() - 1),
                                                           fieldsOf(f.context)[field - 1]));
}

// --- values ----------------------------------------------------------------

void FixtureDecoder::onValue(Value kind, const bool* flag, const jd::Number* number, std::string_view text) {
    const std::size_t depth = frames_.size();
    const bool container = kind == Value::object || kind == Value::array;

    if (frames_.empty()) {
        if (kind != Value::object) {
            problem({0}, "expected object at " + jd::describe(nodeOnly_ ? nodePath_ : ""));
        } else if (nodeOnly_) {
            startNode(FixtureNode::make());
        } else {
            push(Context::root, true);
        }
    } else {
        Frame& f = frames_.back();
        switch (f.context) {
            case Context::skip: break;

            case Context::root:
                if (f.field == 0) break;
                if (kind != Value::object) wrongType("object");
                else if (f.field == kMeta) push(Context::meta, true);
                else if (f.field == kExpect) push(Context::expect, true);
                else startNode(FixtureNode::make());
                break;

            case Context::meta: {
                if (f.field == 0) break;
                const bool required = f.field == kSurface || f.field == kScenario;
                if (kind == Value::null && !required) break;
                if (kind != Value::string) {
                    wrongType("string");
                    break;
                }
                auto& meta = doc_.meta;
                switch (f.field) {
                    case kSurface: meta.surface.assign(text); break;
                    case kScenario: meta.scenario.assign(text); break;
                    case kRecordedAt: meta.recordedAt.emplace(text); break;
                    case kAgentVersion: meta.agentVersion.emplace(text); break;
                    case kBrowser: meta.browser.emplace(text); break;
                }
                break;
            }

            case Context::expect: {
                if (f.field == 0) break;
                auto& expect = doc_.expect;
                if (f.field == kTurnCount) {
                    if (kind != Value::number) {
                        wrongType("integer");
                        break;
                    }
                    try {
                        expect.turnCount = jd::integer(*number, "");
                    } catch (const jd::DecodeError&) {
                        try {
                            jd::integer(*number, slotPath());  // again, for the message with its path
                        } catch (const jd::DecodeError& e) {
                            auto rank = slotRank();
                            rank.push_back(0);
                            problem(std::move(rank), e.what());
                        }
                    }
                    break;
                }
                if (kind == Value::null) break;
                if (f.field == kRoles) {
                    if (kind != Value::array) {
                        wrongType("array");
                        break;
                    }
                    expect.roles.emplace();
                    push(Context::roles, false);
                    break;
                }
                if (kind != Value::boolean) {
                    wrongType("boolean");
                    break;
                }
                std::optional<bool>* slots[] = {&expect.modelPresent, &expect.responseComplete,
                                                &expect.conversationKeyPresent, &expect.usedParityFallback,
                                                &expect.inProject, &expect.producedArtifact};
                *slots[f.field - kModelPresent] = *flag;
                break;
            }

            case Context::roles:
                if (kind == Value::string) doc_.expect.roles->emplace_back(text);
                else wrongType("string");
                break;

            case Context::node: {
                if (f.field == 0 || kind == Value::null) break;
                FixtureNode* node = f.node;
                if (f.field == kClassList || f.field == kChildren) {
                    if (kind != Value::array) {
                        wrongType("array");
                    } else {
                        const bool classes = f.field == kClassList;
                        push(classes ? Context::classes : Context::children, false, node);
                        frames_.back().firstPending = classes ? pendingClasses_.size() : pendingChildren_.size();
                    }
                } else if (kind != Value::string) {
                    wrongType("string");
                } else if (f.field == kRole) {
                    node->roleValue.assign(text);
                } else if (f.field == kUrl) {
                    node->setText(FixtureNode::Text::url, std::string(text));
                } else {
                    node->setText(kNodeTexts[f.field - kSubrole], std::string(text));
                }
                break;
            }

            case Context::classes:
                if (kind == Value::string) pendingClasses_.emplace_back(text);
                else wrongType("string");
                break;

            case Context::children:
                if (kind == Value::object) startNode(FixtureNode::make());
                else wrongType("object");
                break;
        }
    }

    if (frames_.size() != depth) return;  // a container was entered
    if (container) {
        push(Context::skip, kind == Value::object);  // read past what has no place here
    } else if (!frames_.empty() && !frames_.back().object) {
        ++frames_.back().index;
    }
}

void FixtureDecoder::null() { onValue(Value::null); }
void FixtureDecoder::boolean(bool value) { onValue(Value::boolean, &value); }
void FixtureDecoder::number(const jd::Number& value) { onValue(Value::number, nullptr, &value); }
void FixtureDecoder::string(std::string_view value) { onValue(Value::string, nullptr, nullptr, value); }
void FixtureDecoder::startObject() { onValue(Value::object); }
void FixtureDecoder::startArray() { onValue(Value::array); }

void FixtureDecoder::key(std::string_view key) {
    Frame& f = frames_.back();
    const auto fields = fieldsOf(f.context);
    const auto known = std::find(fields.begin(), fields.end(), key);
    if (known != fields.end()) {
        const auto field = static_cast<std::uint8_t>(known - fields.begin() + 1);
        if (f.seen & bit(field)) {
            throw jd::DecodeError("duplicate key at " + jd::child(framePath(frames_.size() - 1), key));
        }
        f.seen |= bit(field);
        f.field = field;
        return;
    }
    // Members nobody reads are still checked for repeats.
    const auto first = unknownKeys_.begin() + static_cast<std::ptrdiff_t>(f.firstUnknown);
    if (std::find(first, unknownKeys_.end(), key) != unknownKeys_.end()) {
        throw jd::DecodeError("duplicate key at " + jd::child(framePath(frames_.size() - 1), key));
    }
    unknownKeys_.emplace_back(key);
    f.field = 0;
}

void FixtureDecoder::endObject() {
    const Frame& f = frames_.back();
    switch (f.context) {
        case Context::root:
            for (std::uint8_t field : {kMeta, kExpect, kTree}) {
                if (!(f.seen & bit(field))) missing(field);
            }
            break;
        case Context::meta:
            for (std::uint8_t field : {kSurface, kScenario}) {
                if (!(f.seen & bit(field))) missing(field);
            }
            break;
        case Context::expect:
            if (!(f.seen & bit(kTurnCount))) missing(kTurnCount);
            break;
        case Context::node: f.node->shrinkToFit(); break;
        default: break;
    }
    pop();
}

namespace {

template <typename T>
void moveTail(std::vector<T>& pending, std::size_t first, std::vector<T>& into) {
    into.reserve(into.size() + pending.size() - first);
    into.insert(into.end(), std::make_move_iterator(pending.begin() + static_cast<std::ptrdiff_t>(first)),
                std::make_move_iterator(pending.end()));
    pending.resize(first);
}

}  // namespace

void FixtureDecoder::endArray() {
    const Frame& f = frames_.back();
    if (f.context == Context::children) moveTail(pendingChildren_, f.firstPending, f.node->childList);
    else if (f.context == Context::classes) moveTail(pendingClasses_, f.firstPending, f.node->domClasses);
    pop();
}

// --- results ---------------------------------------------------------------

FixtureDocument FixtureDecoder::document() {
    if (firstProblem_) throw jd::DecodeError(firstProblem_->second);
    return std::move(doc_);
}

FixtureNodePtr FixtureDecoder::node() {
    if (firstProblem_) throw jd::DecodeError(firstProblem_->second);
    return std::move(root_);
}

}  // namespace velmar
