#include "capture/LastExchangeStore.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace fs = std::filesystem;

LastExchangeStore::LastExchangeStore(fs::path directory) : directory_(std::move(directory)) {
    std::error_code ec;
    fs::create_directories(directory_, ec);
    ::chmod(directory_.c_str(), 0700);
    struct stat st {};
    if (::stat(path().c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(path().c_str(), 0600);
    std::ifstream in(path(), std::ios::binary);
    if (!in) return;
    std::stringstream text;
    text << in.rdbuf();
    const auto doc = nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
    if (!doc.is_array()) return;
    // Most recent first in the file; remembered oldest first so the order holds.
    for (auto it = doc.rbegin(); it != doc.rend(); ++it) {
        if (!it->is_object()) continue;
        const auto surface = it->value("surface", nlohmann::json());
        const auto key = it->value("conversationKey", nlohmann::json());
        const auto ordinal = it->value("ordinal", nlohmann::json());
        const auto signature = it->value("signature", nlohmann::json());
        if (!surface.is_string() || !key.is_string() || !ordinal.is_number_integer() || !signature.is_string()) continue;
        remember(surface, key, {ordinal.get<int>(), signature.get<std::string>()});
    }
    dirty_ = false;
}

std::optional<LastExchangeStore::Exchange> LastExchangeStore::find(const std::string& surface,
                                                                   const std::string& conversationKey) const {
    auto it = slots_.find({surface, conversationKey});
    if (it == slots_.end()) return std::nullopt;
    return it->second.exchange;
}

void LastExchangeStore::remember(const std::string& surface, const std::string& conversationKey, Exchange exchange) {
    Key key{surface, conversationKey};
    auto it = slots_.find(key);
    if (it != slots_.end()) {
        order_.splice(order_.begin(), order_, it->second.position);
        if (exchange.ordinal < it->second.exchange.ordinal || it->second.exchange == exchange) return;
        it->second.exchange = std::move(exchange);
        dirty_ = true;
        return;
    }
    order_.push_front(key);
    slots_.emplace(std::move(key), Slot{std::move(exchange), order_.begin()});
    while (order_.size() > maxConversations) {
        slots_.erase(order_.back());
        order_.pop_back();
    }
    dirty_ = true;
}

bool LastExchangeStore::save() {
    nlohmann::json doc = nlohmann::json::array();
    for (const auto& key : order_) {
        const auto& e = slots_.at(key).exchange;
        doc.push_back({{"surface", key.first}, {"conversationKey", key.second}, {"ordinal", e.ordinal},
                       {"signature", e.signature}});
    }
    const std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    fs::path temp = path();
    temp += ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t at = 0; ok && at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) at += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path().c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    dirty_ = false;
    return true;
}

}  // namespace velmar
