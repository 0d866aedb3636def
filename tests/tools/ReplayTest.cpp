// Every replay file under tests/tools/replay: one with a .expected prints those
// turn lines; one with a .error fails with status 2, that message and no output.
#include "tools/Replay.hpp"

#include "support/BundledFixtures.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;

const fs::path kDir = fs::path(VELMAR_FIXTURE_DIR).parent_path() / "tools" / "replay";

std::vector<std::string> replayFiles() {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(kDir)) {
        if (entry.path().extension() == ".json") out.push_back(entry.path().stem().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<std::string> slurp(const fs::path& p) {
    return fs::exists(p) ? std::optional(testing::readFile(p)) : std::nullopt;
}

class ReplayGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(ReplayGolden, PrintsWhatIsRecorded) {
    const auto input = (kDir / (GetParam() + ".json")).string();
    const auto expected = slurp(kDir / (GetParam() + ".expected"));
    const auto error = slurp(kDir / (GetParam() + ".error"));
    ASSERT_TRUE(expected || error) << "no .expected or .error beside " << input;

    std::ostringstream out, err;
    const char* argv[] = {"velmar-replay", input.c_str()};
    const int status = Replay::run(2, argv, out, err);
    EXPECT_EQ(status, expected ? 0 : 2) << err.str();
    EXPECT_EQ(out.str(), expected.value_or("")) << "no partial output for a malformed file";
    EXPECT_EQ(err.str(), error ? "velmar-replay: " + input + ": " + *error : "");
}

INSTANTIATE_TEST_SUITE_P(All, ReplayGolden, ::testing::ValuesIn(replayFiles()), testing::fixtureTestName);

// A file that cannot be read at all is named with the reader's words; the
// JSON reader's own test has the other ways a file is unreadable.
TEST(ReplayTest, AFileThatCannotBeReadIsNamed) {
    const auto path = (kDir / "absent.json").string();
    std::ostringstream out, err;
    EXPECT_EQ(Replay::runFile(path, out, err), 2);
    EXPECT_EQ(err.str(), "velmar-replay: " + path + ": cannot read the file: No such file or directory\n");
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace velmar
