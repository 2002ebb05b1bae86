// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"

#include <string>

namespace quillon::selftest {

// Returns a freshly generated random (version 4) UUID in its 36-character
// text form, lower-case hexadecimal digits in groups of 8-4-4-4-12.
// Throws PlatformError when no random bytes can be read.
std::string randomUuid();

// The self-test's private fixture folder. Creating it makes the folder
// (never its parents: an existing name or a missing parent is an error);
// destroying it removes the folder and everything below it without
// following any link, on every exit, ignoring errors. Not copyable.
class FixtureTree {
public:
    // Creates the folder `path` (absolute). Throws PlatformError.
    explicit FixtureTree(std::string path);
    ~FixtureTree();
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

// Fixture steps on absolute paths inside the fixture folder. Every one
// throws PlatformError with the system's reason when it fails, and none
// follows a link in the last component of the path it writes.

// Makes `path` hold exactly `contents`, creating it or truncating it.
void writeFile(const std::string& path, const std::string& contents);

// Overwrites the existing regular file `path` in place with `contents`: the
// file keeps its inode while its size and times change.
void overwriteInPlace(const std::string& path, const std::string& contents);

// Returns the whole content of the regular file `path`.
std::string readFile(const std::string& path);

// Opens the existing regular file `path` for reading.
platform::Descriptor openForReading(const std::string& path);

// Creates `path` as a symbolic link whose target text is `target`.
void makeSymbolicLink(const std::string& target, const std::string& path);

// Creates `path` as a second hard link of the existing file `existing`.
void makeHardLink(const std::string& existing, const std::string& path);

// Removes the file or link `path` (never what a link points to).
void removeFile(const std::string& path);

// Removes the empty directory `path`.
void removeEmptyDirectory(const std::string& path);

// Sets the modification time of `path` (of a link itself, not its target)
// to `seconds` since 1970, leaving the access time alone.
void setModificationTime(const std::string& path, double seconds);

// Returns whether anything exists at `path`, following a final link.
bool exists(const std::string& path);

// Returns whether nothing at all, not even a dangling link, is at `path`.
bool absent(const std::string& path);

} // namespace quillon::selftest
