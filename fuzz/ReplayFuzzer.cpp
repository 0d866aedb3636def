// Replay files through the capture pipeline: any bytes as a replay file. A
// malformed file is one decoding error; a well-formed one plays, and every
// turn line it yields is one line of valid JSON.
#include "support/FuzzCheck.hpp"
#include "runtime/CoreContract.hpp"
#include "tools/Replay.hpp"

#include <cstdint>

using namespace velmar;
namespace jd = velmar::jsondecode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Replay::Script script;
    try {
        script = Replay::decodeText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const jd::DecodeError&) {
        return 0;
    }
    Replay::play(script, [](const TurnEvent& event) {
        const auto line = core_contract::toLine(core_contract::toJSON(event));
        fuzz::check(line.find('\n') == line.size() - 1, "a turn line that is not one line");
        fuzz::check(jd::Json::accept(line), "a turn line that is not JSON");
    });
    return 0;
}
