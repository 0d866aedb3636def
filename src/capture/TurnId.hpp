#pragma once
// The stable identity of one turn as sent to the core: the same exchange in
// the same conversation always gets the same id, so a turn sent twice (after
// either side crashed) is recognised and stored once.

#include <nlohmann/json.hpp>

#include <string>

namespace velmar {

// 32 lowercase hex digits: a 128-bit XXH3 of the turn message's surface,
// conversation key, turn index, prompt and response, plus its "revision" when
// that is above 0 (a reply that grew after being sent is a new turn). Every
// other member (times, tiers, verdicts) is left out: they differ between two
// captures of the same exchange.
std::string turnIdOf(const nlohmann::json& turnMessage);

}  // namespace velmar
