#pragma once

#include <string>
#include <vector>

namespace quillon {

// The four ways the program runs, and the usage error.
enum class Mode { selfTest, dryRun, usage, window, uiPreview };

// Returns the mode for an argument list (argument 0 is the program path).
// Precedence: "--self-test" anywhere (argument 0 included), then "--dry-run"
// anywhere, then any arguments after argument 0 other than nothing or exactly
// "--ui-preview" are a usage error; otherwise the window, as the preview when
// any argument (argument 0 included) is "--ui-preview". Matching is exact and
// case-sensitive.
Mode chooseMode(const std::vector<std::string>& arguments);

// The usage line written to standard error, with its line feed.
inline constexpr const char* usageText = "Use --dry-run to preview, or open the app to clean.\n";

// Runs the program for `argc`/`argv` and returns the exit status: 0, 1 when
// the self-test fails, 2 for a usage error.
int runEntry(int argc, char** argv);

} // namespace quillon
