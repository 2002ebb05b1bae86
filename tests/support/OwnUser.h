#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace quillon::testing {

// Runs `body` in a child process under a user id that no account uses, with
// no groups and no capabilities, so that file modes and the kernel's access
// checks apply to it as to any user, and what it sees of the process table
// is only its own processes. `prepare` runs first in the child while still
// root, given that user id, to make or open what the body needs. Returns what the body returned, or
// what went wrong; "SKIP needs root" when this process is not root.
std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body);

} // namespace quillon::testing
