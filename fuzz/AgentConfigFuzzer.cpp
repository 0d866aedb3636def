// The configuration file: any bytes as the bundled "config.json". Loading
// never fails, and a release build talks to an https backend whatever the
// file says.
#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "runtime/AgentConfig.hpp"
#include "support/FuzzCheck.hpp"
#include "surfaces/WebAddress.hpp"

#include <cstdint>
#include <string>

using namespace velmar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::SimInstallLayout install;
    install.setResource("config", "json", std::string(reinterpret_cast<const char*>(data), size));
    const sim::SimEnvironment environment{{"VELMAR_API_BASE", "http://127.0.0.1:9"}};
    const auto release = AgentConfig::load(install, environment, true);
    // A scheme is case-insensitive, and one written "HTTPS://" is kept as written.
    fuzz::check(WebAddress::parse(release.apiBase).schemeIs("https"), "a release build with a backend that is not https");
    (void)AgentConfig::load(install, environment, false);
    return 0;
}
