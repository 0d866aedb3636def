#include "tools/CommandLine.hpp"

#include <ostream>

namespace velmar {

std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                    std::ostream& err, std::string_view usage) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << app.get_name() << ": " << e.what() << '\n' << "usage: " << usage << '\n';
        return 2;
    }
    return std::nullopt;
}

}  // namespace velmar
