// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {

// Returns the current user's home directory as its canonical path (the one
// spelling the kernel prints for open files): the real path of $HOME when it
// is set, absolute and names an existing directory; the empty text when
// $HOME is set but unusable (never another folder in its place); only when
// $HOME is unset, the real path of the account database entry of the real
// user id, or the empty text when there is none.
std::string homeDirectory();

// Returns the canonical absolute path of `path` (links resolved, no "." or
// ".." or repeated or trailing slashes), or the empty text when `path` is
// empty or names nothing.
std::string realPath(const std::string& path);

// Returns the per-user temporary directory as a canonical path without a
// trailing slash: the real path of the first of $TMPDIR and $XDG_RUNTIME_DIR
// that is a private directory of the real user, else /tmp/quillon-<uid>
// (created 0700 when missing, accepted only as a real 0700 directory of the
// user), else the empty text.
std::string userTempDirectory();

// Returns the per-user cache directory as a canonical path: the real path of
// $XDG_CACHE_HOME when set and absolute, else of $HOME/.cache, each accepted
// only as a private directory of the real user; the empty text otherwise.
std::string userCacheDirectory();

// Returns the per-user configuration directory as a canonical path, chosen
// and checked like the cache directory: $XDG_CONFIG_HOME, else
// $HOME/.config.
std::string userConfigDirectory();

// Returns the per-user state directory as a canonical path, chosen and
// checked like the cache directory: $XDG_STATE_HOME, else
// $HOME/.local/state. With `create`, its missing folders are made first,
// each 0700.
std::string userStateDirectory(bool create);

// Returns the real path of every folder named as a choice for the cache,
// configuration or state directory ($XDG_CACHE_HOME and $HOME/.cache, and so
// on; each choice, whether or not an earlier one was taken) that exists but
// is not a private directory of the real user (see isPrivateDirectory()).
// What lies in such a folder is not the user's alone under any spelling of
// its path, so no location of the catalogue may reach into one.
std::vector<std::string> refusedBaseDirectories();

// Returns the system-wide temporary directory ("/tmp").
std::string sharedTempDirectory();

// Returns whether `path` names, after following links, a directory owned by
// the real user that neither group nor others may write. On success the
// canonical path is stored in `resolved`.
bool isPrivateDirectory(const std::string& path, std::string& resolved);

// Path-text operations. A trailing slash is ignored; nothing is resolved.
// baseName("/a/b/") is "b", of "/" is "/", of "" is "".
std::string baseName(const std::string& path);
// parentFolder("/a/b") is "/a", of "/a" and "/" is "/", of "a" is "".
std::string parentFolder(const std::string& path);
// Returns whether `inner` is `outer` or lies below it: within("/a/b", "/a"),
// within("/a", "/a") and within("/a", "/") hold, within("/ab", "/a") does not.
bool within(const std::string& inner, const std::string& outer);
// Returns `name` below `folder`, joined by exactly one slash whatever slashes
// end `folder` or begin `name`: joinPath("/", ".nv") is "/.nv", as the kernel
// spells it, and so is joinPath("/", "/.nv"). Returns the empty text when
// `folder` is empty: nothing lies below a missing folder.
std::string joinPath(const std::string& folder, std::string_view name);
// extensionOf("/x/App.xcodeproj/") is "xcodeproj"; a name without a dot, or
// whose only dot leads it (".hidden"), has the empty extension.
std::string extensionOf(const std::string& path);

} // namespace quillon::platform
