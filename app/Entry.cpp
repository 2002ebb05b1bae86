#include "app/Entry.h"

#include "app/Window.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "engine/Report.h"
#include "selftest/SelfTest.h"

#include <algorithm>
#include <cstdio>

namespace quillon {

Mode chooseMode(const std::vector<std::string>& arguments) {
    const auto has = [&](const char* word) {
        return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
    };
    if (has("--self-test")) return Mode::selfTest;
    if (has("--dry-run")) return Mode::dryRun;
    const bool onlyPreviewWord = arguments.size() == 2 && arguments[1] == "--ui-preview";
    if (arguments.size() >= 2 && !onlyPreviewWord) return Mode::usage;
    // Argument 0 counts too: a program started under the name "--ui-preview"
    // shows the harmless preview, never a real clean.
    return has("--ui-preview") ? Mode::uiPreview : Mode::window;
}

namespace {

int runSelfTest() {
    try {
        selfTest();
        return 0;
    } catch (const std::exception& error) {
        std::fputs((text::selfTestFailed + describe(error) + "\n").c_str(), stderr);
    } catch (...) {
        std::fputs((text::selfTestFailed + describe(std::current_exception()) + "\n").c_str(), stderr);
    }
    return 1;
}

int runPreview() {
    const Report report = clean(true);
    std::string out = summary(report, true) + "\n";
    for (const std::string& line : report.notes) out += line + "\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace

int runEntry(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    switch (chooseMode(arguments)) {
    case Mode::selfTest:
        return runSelfTest();
    case Mode::dryRun:
        return runPreview();
    case Mode::usage:
        std::fputs(usageText, stderr);
        return 2;
    case Mode::window:
        return runWindow(argc, argv, false);
    case Mode::uiPreview:
        return runWindow(argc, argv, true);
    }
    return 2;
}

} // namespace quillon
