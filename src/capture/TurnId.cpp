#include "capture/TurnId.hpp"

#include <xxhash.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace velmar {

namespace {

struct StateDeleter {
    void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
};

// Each field is tagged and length-prefixed, so no two different turns
// serialise alike ("ab"+"c" against "a"+"bc", an absent key against "").
void feed(XXH3_state_t* state, char tag, const nlohmann::json* value) {
    std::string text;
    char kind = 'n';  // absent or null
    if (value && value->is_string()) {
        kind = 's';
        text = value->get_ref<const std::string&>();
    } else if (value && value->is_number_integer()) {
        kind = 'i';
        text = std::to_string(value->get<std::int64_t>());
    } else if (value && !value->is_null()) {
        kind = 'j';
        text = value->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    const std::uint64_t size = text.size();
    unsigned char header[10] = {static_cast<unsigned char>(tag), static_cast<unsigned char>(kind)};
    for (int i = 0; i < 8; ++i) header[2 + i] = static_cast<unsigned char>(size >> (8 * i));
    XXH3_128bits_update(state, header, sizeof header);
    XXH3_128bits_update(state, text.data(), text.size());
}

const nlohmann::json* member(const nlohmann::json& m, const char* key) {
    auto it = m.find(key);
    return it == m.end() ? nullptr : &*it;
}

}  // namespace

std::string turnIdOf(const nlohmann::json& m) {
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    XXH3_128bits_reset(state.get());
    feed(state.get(), 'S', member(m, "surface"));
    feed(state.get(), 'C', member(m, "conversation_key"));
    feed(state.get(), 'O', member(m, "turn_index"));
    feed(state.get(), 'P', member(m, "prompt"));
    feed(state.get(), 'R', member(m, "response"));
    if (const auto* revision = member(m, "revision");
        revision && revision->is_number_integer() && revision->get<std::int64_t>() > 0) {
        feed(state.get(), 'V', revision);
    }
    const XXH128_hash_t h = XXH3_128bits_digest(state.get());
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(h.high64),
                  static_cast<unsigned long long>(h.low64));
    return hex;
}

}  // namespace velmar
