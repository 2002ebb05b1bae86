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
// user's processes hold open ("lsof -nP -Fn -u <uid>"), in lsof's order,
// duplicates kept. All or nothing: throws
// SafetyError("Cannot verify open files; kept everything") when the answer
// cannot be trusted (see openPathsFromLsof), and the runner's errors
// (CleanCancelled, the launch error of a missing lsof) unchanged.
std::vector<std::string> openPaths(const RunControl* control = nullptr);

// The same, asking the lsof executable at `lsof`.
std::vector<std::string> openPathsWith(const std::string& lsof, const RunControl* control = nullptr);

// Returns the open paths of one recorded answer of "lsof -nP -Fn -u <uid>":
// the name fields that begin with "/", without their "n", with lsof's
// printable escapes undone ("\\", "\n", "\t", "\r", "\b", "\f", "\xHH") so
// that each is the path's exact bytes. Throws
// SafetyError("Cannot verify open files; kept everything") when the status
// is not 0; when the output holds "WARNING" or "lsof:" anywhere; when lsof
// notes that it could not read some descriptor ("(readlink: ", "(opendir: ",
// "(stat: ", "lstat: "); when a path holds an escape it cannot undo
// unambiguously (an unknown backslash escape, or "^" before "@".."_" or "?",
// which lsof also writes for control characters); or when a path holds
// U+FFFD, the mark of bytes the text could not carry.
std::vector<std::string> openPathsFromLsof(const CommandResult& result);

} // namespace quillon
