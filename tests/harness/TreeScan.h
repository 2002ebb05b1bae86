#pragma once

// What the harness knows of a file system item: its identity as the
// cleaner compares it, and a walk of a whole fixture tree that never
// follows a symbolic link.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillon::harness {

// The status fields the removal compares, plus what the harness needs to
// tell two items apart over time (birth time against inode reuse) and to
// count bytes.
struct Identity {
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    std::uint32_t owner = 0;
    std::uint32_t type = 0;      // st_mode & S_IFMT
    timespec modified{};
    timespec changed{};
    timespec born{};             // zero where the file system keeps no birth time
    std::uint64_t links = 0;
    std::int64_t bytes = 0;      // allocated: blocks * 512

    bool directory() const { return type == S_IFDIR; }
    bool regular() const { return type == S_IFREG; }
};

// Whether two identities agree in everything the checked removal compares:
// inode, device, owner, type, modification and status-change time.
bool sameForRemoval(const Identity& a, const Identity& b);

// Whether two identities name the same inode at the same life: inode, device
// and birth time (a freed inode number may come back for a new item).
bool sameInode(const Identity& a, const Identity& b);

// The identity held in a status record.
Identity identityFrom(const struct statx& raw);

// Looks up `name` in `dirfd` without following a final link.
std::optional<Identity> identityAt(int dirfd, const std::string& name);
std::optional<Identity> identityOf(const std::string& path);

// One item of a walked tree.
struct Entry {
    Identity identity;
    std::uint64_t hash = 0;   // content hash of a regular file
    std::string target;       // target of a symbolic link
};

// The 64-bit FNV-1a hash of `bytes`.
std::uint64_t contentHash(const std::string& bytes);

// Reads a regular file without following a final link; nullopt when it
// cannot be read as one.
std::optional<std::string> readContent(const std::string& path);

// Walks `root` and everything below it (never through a link) and returns
// every item by absolute path, `root` included. Without `contents` no file
// is read and no hash is taken.
std::map<std::string, Entry> scanTree(const std::string& root, bool contents = true);

// Path text helpers: the last component, everything before it, and whether
// `path` is `root` or lies below it.
std::string baseName(const std::string& path);
std::string parentOf(const std::string& path);
bool within(const std::string& path, const std::string& root);

// Removes `root` and everything below it without following any link; used
// only on the harness's own finished fixture folders.
void removeTree(const std::string& root);

} // namespace quillon::harness
