#pragma once

// The harness's own account of the cleaning rules, written from the rules
// themselves and not from the program: which items of a freshly built
// trial a clean may remove. Every item is old by then (see ageMargin), so
// what decides is the kind, owner, link count, name and place of each item.

#include "tests/harness/TrialTree.h"

#include <set>
#include <string>

namespace quillon::harness {

// The paths of `trial.initial` that a clean of `trial.locations` may remove:
// - whole: the root and everything in it, when every item in it qualifies;
// - oldChildren: each entry of the root with everything in it, when every
//   item in it qualifies (an empty file is passed over);
// - oldFiles: every non-empty qualifying file matching the pattern, reached
//   through folders of the user's own whose names can be looked up;
// - oldTopFiles: the same, directly inside the root only.
// An item qualifies when it is the user's own, a folder or a file with one
// link, no newer than the trial's building, and its name is UTF-8. A root
// that is not a folder of the user's own yields nothing.
std::set<std::string> plannableItems(const Trial& trial);

// Whether `name` (one entry name) is matched by the log-file pattern:
// ".log", then maybe "." and digits, then maybe ".gz", at the very end, in
// any case of letters.
bool matchesLogPattern(const std::string& name);

// Whether `text` is well-formed UTF-8 without U+FFFD (the mark of bytes
// that a listing could not carry).
bool validUtf8(const std::string& text);

} // namespace quillon::harness
