#pragma once
// Builds a fixture document (or one recorded node) straight from the JSON
// reader's values, in one pass, without a document tree in between.
//
// Problems are reported as a field-by-field decoding would find them first:
// the document's shape, then meta, expect and tree, each in field order, a
// node's own fields before its children, whatever order the keys are written
// in. So the reader keeps going after a problem and keeps the earliest in that
// order; its message and path are built only then. Malformed JSON, duplicate
// keys, numbers out of range and hostile nesting stop the read at once.

#include "ax/FixtureDocument.hpp"
#include "json/JsonReader.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmar {

class FixtureDecoder final : public jsondecode::JsonHandler {
public:
    // A whole document, or a single node whose path is `nodePath`.
    static FixtureDecoder forDocument() { return FixtureDecoder(false, ""); }
    static FixtureDecoder forNode(std::string nodePath) { return FixtureDecoder(true, std::move(nodePath)); }

    // After the read: the result, or jsondecode::DecodeError for the first problem.
    FixtureDocument document();
    FixtureNodePtr node();

    void null() override;
    void boolean(bool value) override;
    void number(const jsondecode::Number& value) override;
    void string(std::string_view value) override;
    void startObject() override;
    void key(std::string_view key) override;
    void endObject() override;
    void startArray() override;
    void endArray() override;
    std::string path() const override;

private:
    enum class Context : std::uint8_t { root, meta, expect, roles, node, classes, children, skip };
    enum class Value : std::uint8_t { null, boolean, number, string, object, array };

    struct Frame {
        Context context = Context::skip;
        bool object = true;           // skip frames: whether an object or an array is skipped
        std::uint8_t field = 0;       // objects: the member being read, 0 when not a known one
        std::uint32_t seen = 0;       // objects: known members already read
        std::size_t index = 0;        // arrays: the element being read
        FixtureNode* node = nullptr;  // the node, or the owner of the list
        std::size_t firstPending = 0; // lists: where its items start in their pending stack
        std::size_t firstUnknown = 0; // objects: where its unknown members start in unknownKeys_
    };

    // The known members of an object context, in decoding order; empty for the others.
    static std::span<const std::string_view> fieldsOf(Context context);

    FixtureDecoder(bool nodeOnly, std::string nodePath) : nodeOnly_(nodeOnly), nodePath_(std::move(nodePath)) {}

    // Handles a value at the current place; the scalar's payload, if any, is
    // passed in the pointer that matches its kind.
    void onValue(Value kind, const bool* flag = nullptr, const jsondecode::Number* number = nullptr,
                 std::string_view text = {});
    void push(Context context, bool object, FixtureNode* node = nullptr);
    void pop();
    void startNode(FixtureNodePtr node);

    // Paths and places in the decoding order, built only on a problem.
    std::string framePath(std::size_t depth) const;
    std::string slotPath() const;
    std::vector<std::uint32_t> slotRank() const;
    void problem(std::vector<std::uint32_t> rank, std::string message);
    // "expected <what> at <the value being read>".
    void wrongType(const char* what);
    void missing(std::uint8_t field);

    bool nodeOnly_;
    std::string nodePath_;
    std::vector<Frame> frames_;
    // Lists are gathered here and moved into their node once complete, so
    // each takes one exactly sized allocation instead of growing.
    std::vector<FixtureNodePtr> pendingChildren_;
    std::vector<std::string> pendingClasses_;
    // Members nobody reads, per open object, still checked for repeats; when
    // an object's current member is unknown (field 0) it is the last one here.
    std::vector<std::string> unknownKeys_;
    FixtureDocument doc_;
    FixtureNodePtr root_;
    bool started_ = false;
    std::optional<std::pair<std::vector<std::uint32_t>, std::string>> firstProblem_;
};

}  // namespace velmar
