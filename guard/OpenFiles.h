#pragma once

#include "core/RunControl.h"
#include "guard/Command.h"

#include <string>
#include <vector>

namespace quillon {

// Returns the path of lsof: the first of /usr/sbin/lsof and /usr/bin/lsof
// that exists, else /usr/sbin/lsof (so that the launch error names it).
std::string lsofPath();

// Returns the absolute paths of every file and directory that the real
// user's processes hold open, in lsof's order, duplicates kept. All or
// nothing: throws SafetyError("Cannot verify open files; kept everything")
// when the answer cannot be trusted, and the runner's errors unchanged.
std::vector<std::string> openPaths(const RunControl* control = nullptr);

// The same rules applied to one recorded answer of
// "lsof -nP -Fn -u <uid>".
std::vector<std::string> openPathsFromLsof(const CommandResult& result);

} // namespace quillon
