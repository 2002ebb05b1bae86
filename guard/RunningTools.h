#pragma once

#include "core/RunControl.h"

#include <set>
#include <string>

namespace quillon {

// Returns the set of lower-cased executable file names of every running
// process ("/bin/ps -axo comm="). Throws the runner's errors unchanged, and
// SafetyError("Cannot check running apps") when ps ends with a non-zero
// status.
std::set<std::string> runningCommands(const RunControl* control = nullptr);

// Returns the running set for the text that "ps -axo comm=" printed: lines
// trimmed of spaces and tabs, the last path component of each, lower-cased.
std::set<std::string> runningSetFromPs(const std::string& output);

// Returns whether a running program protects `group`. A group without a rule
// is always busy; "Logs" never is.
bool busyTools(const std::string& group, const std::set<std::string>& running);

// The same on a fresh running set.
bool busyTools(const std::string& group, const RunControl* control);

} // namespace quillon
