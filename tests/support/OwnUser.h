#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace quillon::testing {

// Runs `body` in a child process with no power over file modes or over
// other processes, so that the kernel's access checks apply to it as to any
// user: when root, under a user id that no account uses, with no groups and
// no capabilities (what it sees of the process table as its own is then only
// its own processes); otherwise as this user. `prepare` runs first in the
// child, still root where it was, given the user id the body will run under,
// to make or open what the body needs. Returns what the body returned, or
// what went wrong.
std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body);

} // namespace quillon::testing
