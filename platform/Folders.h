// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>
#include <vector>

namespace quillon::platform {

// The few whole-path services that are only ever used to read catalogue
// listings, test existence and make fixture or log folders. Nothing is ever
// inspected or deleted through them.

// Returns the names of all entries of `path` (hidden ones included, without
// "." and ".."), in the order the system gives them; no names when the
// listing fails for any reason.
std::vector<std::string> listFolder(const std::string& path);

// Returns whether anything exists at `path`, following a final link.
bool pathExists(const std::string& path);

// Makes the folder `path` (and, with `intermediates`, every missing parent),
// each with `mode` less the umask. Throws PlatformError when it does not
// exist afterwards.
void makeFolder(const std::string& path, bool intermediates, unsigned mode = 0777);

// Writes `contents` as the whole content of `path`, atomically: a private
// file is written beside it and renamed into place. Throws PlatformError on
// failure.
void writeFileAtomically(const std::string& path, const std::string& contents);

// Removes `path` and everything below it without following links. Used only
// for the self-test's own fixture tree. Returns whether all of it is gone.
bool removeTree(const std::string& path);

} // namespace quillon::platform
