#pragma once

#include "core/RunControl.h"
#include "guard/Command.h"

#include <set>
#include <string>

namespace quillon {

// Returns the set of lower-cased executable file names of every running
// process ("/bin/ps -axo comm="). Throws the runner's errors unchanged, and
// SafetyError("Cannot check running apps") when ps ends with a non-zero
// status.
std::set<std::string> runningCommands(const RunControl* control = nullptr);

// Returns the running set for one answer of "ps -axo comm=" (see below);
// throws SafetyError("Cannot check running apps") when its status is not 0,
// so that no partial set is ever used.
std::set<std::string> runningSetFromPs(const CommandResult& result);

// Returns the running set for the text that "ps -axo comm=" printed: lines
// trimmed of spaces and tabs, the last path component of each, lower-cased.
// Empty lines give nothing; duplicates collapse.
std::set<std::string> runningSetFromPs(const std::string& output);

// Returns whether a running program protects `group` (a group name of the
// catalogue, compared case-sensitively). A group without a rule is always
// busy; "Logs", "GPU" and "Thumbnail" never are.
bool busyTools(const std::string& group, const std::set<std::string>& running);

// The same on a fresh running set; throws whatever runningCommands throws.
bool busyTools(const std::string& group, const RunControl* control);

} // namespace quillon
