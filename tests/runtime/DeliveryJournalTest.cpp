#include "runtime/DeliveryJournal.hpp"

#include "platform/sim/SimLogSink.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "runtime/CoreContract.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

using nlohmann::json;

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::numberedTurn;
using testing::readFile;

std::string lineOf(int i) { return core_contract::toLine(core_contract::toJSON(numberedTurn(i))); }
std::string idOf(int i) { return core_contract::toJSON(numberedTurn(i))["turn_id"]; }

std::vector<int> heldIndexes(const DeliveryJournal& j) {
    std::vector<int> out;
    for (const auto& e : j.entries()) out.push_back(json::parse(e.line)["turn_index"].get<int>());
    return out;
}

class DeliveryJournalTest : public ::testing::Test {
protected:
    void writeFile(const std::string& bytes) { testing::writeFile(dir / DeliveryJournal::fileName, bytes); }
    testing::TempDir folder;
    fs::path dir = folder / "velmar";
    sim::SimLogSink log;
};

// What a file left by a crash, an older version or a damaged disk holds is
// read back as turns wherever it can be; nothing is deleted unread.
TEST_F(DeliveryJournalTest, ReadsWhatItCanAndSetsAsideTheRest) {
    json legacy = core_contract::toJSON(numberedTurn(4));
    legacy.erase("turn_id");
    const std::string brokenUtf8 = R"({"type":"turn","surface":"claude","prompt":"caf)" "\xE9" R"(","turn_index":5,"turn_id":"beef"})";
    const struct {
        const char* what;
        std::string file;
        std::vector<int> held;
        std::string setAside;
        std::size_t logLines;
    } cases[] = {
        {"whole lines", lineOf(1) + lineOf(2), {1, 2}, "", 0},
        {"a torn last line is set aside", lineOf(1) + lineOf(2).substr(0, 30), {1}, lineOf(2).substr(0, 30) + "\n", 1},
        {"a whole last line without its line feed is kept", lineOf(1) + lineOf(2).substr(0, lineOf(2).size() - 1), {1, 2}, "", 0},
        {"garbage, other messages and blank lines are set aside or skipped",
         "not json\n" + lineOf(1) + "\n{\"type\":\"agent_status\"}\n[1]\n" + lineOf(2), {1, 2},
         "not json\n{\"type\":\"agent_status\"}\n[1]\n", 1},
        {"a line written before turns had ids gets its id", legacy.dump() + "\n", {4}, "", 0},
        {"broken UTF-8 is repaired, not dropped", brokenUtf8 + "\n", {5}, "", 0},
        {"the same turn twice is held once", lineOf(1) + lineOf(1) + lineOf(2), {1, 2}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir);
        writeFile(c.file);
        log.clear();
        DeliveryJournal j(dir, log);
        EXPECT_EQ(heldIndexes(j), c.held);
        EXPECT_EQ(readFile(dir / DeliveryJournal::unreadableFileName), c.setAside);
        EXPECT_EQ(log.lines().size(), c.logLines);
        for (const auto& e : j.entries()) {
            const auto turn = json::parse(e.line);
            if (e.id == "beef")
                EXPECT_EQ(turn["prompt"], "caf\uFFFD");
            else
                EXPECT_EQ(e.id, idOf(turn["turn_index"].get<int>())) << "the same id as when it was captured";
        }
    }
}

// 50,000 waiting turns: a thousand in memory, every one delivered in order as
// they are confirmed, the file compacted on the way and emptied at the end.
TEST_F(DeliveryJournalTest, ALargeJournalIsReadInBatchesAndEveryTurnComesOnceInOrder) {
    std::string file;
    for (int i = 1; i <= 50000; ++i) file += lineOf(i);
    writeFile(file);
    DeliveryJournal j(dir, log);
    EXPECT_EQ(j.pendingCount(), 50000u);
    std::vector<int> expected, seen;
    for (int i = 1; i <= 50000; ++i) expected.push_back(i);
    std::size_t maxHeld = 0;
    while (!j.entries().empty()) {
        maxHeld = std::max(maxHeld, j.entries().size());
        const auto front = j.entries().front();
        seen.push_back(json::parse(front.line)["turn_index"].get<int>());
        if (seen.size() % 997 == 0) {  // captured meanwhile: after every older one
            const int fresh = 100000 + static_cast<int>(seen.size());
            j.append(idOf(fresh), "claude", lineOf(fresh));
            expected.push_back(fresh);
        }
        j.sync();
        ASSERT_TRUE(j.confirm(front.id));
        ASSERT_FALSE(j.confirm(front.id)) << "confirmed twice";
    }
    EXPECT_EQ(seen, expected);
    EXPECT_LE(maxHeld, DeliveryJournal::windowLimit);
    EXPECT_EQ(j.pendingCount(), 0u);
    EXPECT_EQ(j.fileBytes(), 0u);
    EXPECT_EQ(fs::file_size(dir / DeliveryJournal::fileName), 0u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DeliveryJournalTest, SurvivesAReopenAtAnyPointAndKeepsOnlyWhatIsUnconfirmed) {
    {
        DeliveryJournal j(dir, log);
        for (int i = 1; i <= 600; ++i) j.append(idOf(i), "claude", lineOf(i));
        j.sync();
        for (int i = 1; i <= 600; ++i)
            if (i % 3 != 0) j.confirm(idOf(i));
        j.append(idOf(601), "claude", lineOf(601));
        j.sync();
    }
    // Confirmed ones not yet compacted away may come again (the core knows
    // them); the unconfirmed all do, in order.
    const auto held = heldIndexes(DeliveryJournal(dir, log));
    std::vector<int> unconfirmed, expected;
    for (int i : held)
        if (i % 3 == 0 || i == 601) unconfirmed.push_back(i);
    for (int i = 3; i <= 600; i += 3) expected.push_back(i);
    expected.push_back(601);
    EXPECT_EQ(unconfirmed, expected);
    EXPECT_LT(held.size(), 400u) << "compacted on the way";
}

TEST_F(DeliveryJournalTest, FoldersAndFilesAreTheUsersAlone) {
    const mode_t old = ::umask(022);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms(0755));
    writeFile(lineOf(1) + "oops\n");
    fs::permissions(dir / DeliveryJournal::fileName, fs::perms(0644));
    { DeliveryJournal j(dir, log); }
    const auto modeOf = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
    EXPECT_EQ(modeOf(dir), fs::perms(0700));
    EXPECT_EQ(modeOf(dir / DeliveryJournal::fileName), fs::perms(0600));
    EXPECT_EQ(modeOf(dir / DeliveryJournal::unreadableFileName), fs::perms(0600));
    ::umask(old);
}

// A journal that cannot be written (its disk is full) holds turns in memory,
// says so once, and writes them when it can again.
TEST_F(DeliveryJournalTest, AJournalThatCannotBeWrittenHoldsTurnsInMemory) {
    fs::create_directories(dir);
    fs::create_symlink("/dev/full", dir / DeliveryJournal::fileName);
    DeliveryJournal j(dir, log);
    EXPECT_FALSE(j.append(idOf(1), "claude", lineOf(1)));
    j.sync();
    ASSERT_EQ(heldIndexes(j), (std::vector<int>{1}));
    EXPECT_FALSE(j.entries().front().durable);
    EXPECT_EQ(log.lines().size(), 1u);
    // The next append rewrites the file whole (replacing what could not be written).
    EXPECT_TRUE(j.append(idOf(2), "claude", lineOf(2)));
    j.sync();
    EXPECT_EQ(heldIndexes(j), (std::vector<int>{1, 2}));
    EXPECT_EQ(readFile(dir / DeliveryJournal::fileName), lineOf(1) + lineOf(2));
}

}  // namespace
}  // namespace velmar
