#include "tests/harness/TreeScan.h"

#include "platform/Descriptor.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace quillon::harness {

namespace {

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

timespec fromStatx(const struct statx_timestamp& t) {
    return timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
}

struct DirectoryCloser {
    void operator()(DIR* stream) const { ::closedir(stream); }
};

// Lists the entry names of the directory open on `fd` (without "." and "..");
// the descriptor stays the caller's.
std::vector<std::string> entryNames(int fd) {
    std::vector<std::string> result;
    platform::Descriptor duplicate(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!duplicate) return result;
    std::unique_ptr<DIR, DirectoryCloser> stream(::fdopendir(duplicate.get()));
    if (!stream) return result;
    duplicate.release();
    ::rewinddir(stream.get());
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") result.push_back(name);
    }
    return result;
}

std::string readAll(int fd) {
    std::string out;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return out;
}

void scanInto(int parent, const std::string& name, const std::string& path, bool contents,
              std::map<std::string, Entry>& out) {
    const std::optional<Identity> identity = identityAt(parent, name);
    if (!identity) return; // gone while walking
    Entry entry;
    entry.identity = *identity;
    if (identity->regular() && contents) {
        platform::Descriptor file(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (file) entry.hash = contentHash(readAll(file.get()));
    } else if (identity->type == S_IFLNK) {
        char buffer[4096];
        const ssize_t n = ::readlinkat(parent, name.c_str(), buffer, sizeof buffer);
        if (n > 0) entry.target.assign(buffer, static_cast<std::size_t>(n));
    }
    out[path] = entry;
    if (!identity->directory()) return;
    platform::Descriptor directory(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
    if (!directory) return;
    for (const std::string& child : entryNames(directory.get()))
        scanInto(directory.get(), child, path + "/" + child, contents, out);
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) throw std::runtime_error("not a fixture path: " + path);
    return {path.substr(0, slash), path.substr(slash + 1)};
}

void removeBelow(int directory) {
    for (const std::string& name : entryNames(directory)) {
        const std::optional<Identity> identity = identityAt(directory, name);
        if (!identity) continue;
        if (identity->directory()) {
            // Closed before the folder goes: a descriptor of a removed folder
            // is what makes lsof, asked by a clean elsewhere, distrust itself.
            if (platform::Descriptor inner{::openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC)})
                removeBelow(inner.get());
            ::unlinkat(directory, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(directory, name.c_str(), 0);
        }
    }
}

} // namespace

bool sameForRemoval(const Identity& a, const Identity& b) {
    return a.inode == b.inode && a.device == b.device && a.owner == b.owner && a.type == b.type &&
           sameTime(a.modified, b.modified) && sameTime(a.changed, b.changed);
}

bool sameInode(const Identity& a, const Identity& b) {
    return a.inode == b.inode && a.device == b.device && sameTime(a.born, b.born);
}

Identity identityFrom(const struct statx& raw) {
    Identity identity;
    identity.inode = raw.stx_ino;
    identity.device = (static_cast<std::uint64_t>(raw.stx_dev_major) << 32) | raw.stx_dev_minor;
    identity.owner = raw.stx_uid;
    identity.type = raw.stx_mode & S_IFMT;
    identity.modified = fromStatx(raw.stx_mtime);
    identity.changed = fromStatx(raw.stx_ctime);
    if ((raw.stx_mask & STATX_BTIME) != 0) identity.born = fromStatx(raw.stx_btime);
    identity.links = raw.stx_nlink;
    identity.bytes = static_cast<std::int64_t>(raw.stx_blocks) * 512;
    return identity;
}

std::optional<Identity> identityAt(int dirfd, const std::string& name) {
    struct statx raw {};
    const int flags = name.empty() ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (::statx(dirfd, name.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &raw) != 0) return std::nullopt;
    return identityFrom(raw);
}

std::optional<Identity> identityOf(const std::string& path) { return identityAt(AT_FDCWD, path); }

std::uint64_t contentHash(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<std::string> readContent(const std::string& path) {
    platform::Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) return std::nullopt;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return readAll(file.get());
}

std::map<std::string, Entry> scanTree(const std::string& root, bool contents) {
    std::map<std::string, Entry> out;
    const auto [parentPath, name] = splitPath(root);
    platform::Descriptor parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent) scanInto(parent.get(), name, root, contents, out);
    return out;
}

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool within(const std::string& path, const std::string& root) {
    return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

void removeTree(const std::string& root) {
    const auto [parentPath, name] = splitPath(root);
    platform::Descriptor parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!parent) return;
    if (platform::Descriptor directory{::openat(parent.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC)})
        removeBelow(directory.get());
    ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);
}

} // namespace quillon::harness
