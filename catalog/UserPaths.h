#pragma once

#include <string>

namespace quillon {

// Returns the current user's home directory as the platform reports it,
// unresolved.
std::string homeDirectory();

// Returns the user's private temporary directory as a canonical absolute
// path without a trailing slash, or the empty text when there is none.
std::string userTemp();

// Returns the user's private cache directory as a canonical absolute path,
// or the empty text when there is none.
std::string userCache();

// Returns the user's private configuration directory as a canonical
// absolute path, or the empty text when there is none.
std::string userConfig();

// Returns the folder of the program's own run log, inside the user's private
// state directory (made first, each missing folder 0700, when `create`), or
// the empty text when there is no such directory.
std::string runLogFolder(bool create = false);

// The system-wide temporary directory.
std::string sharedTemp();

} // namespace quillon
