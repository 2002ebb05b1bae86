#include "app/Entry.h"

#include <algorithm>
#include <cstdio>

namespace quillon {

Mode chooseMode(const std::vector<std::string>& arguments) {
    const auto has = [&](const char* word) {
        return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
    };
    if (has("--self-test")) return Mode::selfTest;
    if (has("--dry-run")) return Mode::dryRun;
    if (arguments.size() <= 1) return Mode::window;
    if (arguments.size() == 2 && arguments[1] == "--ui-preview") return Mode::uiPreview;
    return Mode::usage;
}

int runEntry(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    switch (chooseMode(arguments)) {
    case Mode::usage:
        std::fputs(usageText, stderr);
        return 2;
    default:
        std::fputs("This mode is not built yet.\n", stderr);
        return 3;
    }
}

} // namespace quillon
