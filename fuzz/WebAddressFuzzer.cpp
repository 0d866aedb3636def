// Address classification: any bytes as a page address. Parsing, classifying
// and scrubbing never fail; a parsed address rebuilds to itself; a scrubbed
// address keeps no host but the chat apps' own, and scrubbing it again
// changes nothing.
#include "support/FuzzCheck.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/SurfaceTraits.hpp"
#include "surfaces/WebAddress.hpp"
#include "text/Unicode.hpp"
#include "tools/FixtureScrubber.hpp"

#include <cstdint>
#include <string>

using namespace velmar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const auto address = WebAddress::parse(raw);
    if (address.parsed()) {
        fuzz::check(WebAddress::parse(address.toString()) == address, "an address does not rebuild to itself");
    }
    if (const auto surface = AIWebURL::surface(address)) {
        (void)AIWebURL::conversationId(address, *surface);
        (void)AIWebURL::inProject(address, *surface);
    }
    if (const auto panel = AIWebURL::panelSurface(address)) (void)AIWebURL::panelConversationId(address, *panel);

    const std::string scrubbed = FixtureScrubber::scrubURL(raw);
    fuzz::check(text::isValidUtf8(scrubbed), "scrubURL wrote ill-formed UTF-8");
    fuzz::check(FixtureScrubber::scrubURL(scrubbed) == scrubbed, "scrubbing an address again changed it");
    const auto kept = WebAddress::parse(scrubbed);
    if (kept.parsed() && kept.host) {
        // Absent: an address literal, left only inside an address masked whole.
        const auto host = FixtureScrubber::scrubHost(*kept.host);
        fuzz::check(!host || *host == *kept.host, "a host the apps do not use was kept");
    }
    return 0;
}
