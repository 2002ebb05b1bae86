// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/ProcessTable.h"

#include "platform/Descriptor.h"
#include "platform/DirectoryStream.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <dirent.h>
#include <future>
#include <iterator>
#include <limits>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <linux/magic.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon::platform {

namespace {

// How one read of a process went, when it did not fail outright.
enum class Outcome { read, ended, refused };

[[noreturn]] void incomplete(const std::string& where, int error) {
    throw ProcessTableError("Cannot read " + where + ": " + errorText(error));
}

// Whether a read may be refused without making the answer incomplete.
enum class Refusal { fails, allowed };

// Returns how a call that failed with `error` went: the process ended, or
// (where allowed) the kernel refused; anything else throws.
Outcome failure(const std::string& where, int error, Refusal refusal = Refusal::fails) {
    if (error == ENOENT || error == ESRCH) return Outcome::ended;
    if ((error == EACCES || error == EPERM) && refusal == Refusal::allowed) return Outcome::refused;
    incomplete(where, error);
}

// Opens the folder `name` relative to `at` as a directory stream.
Outcome openFolder(int at, const std::string& name, const std::string& where, DirectoryStream& stream,
                   Refusal refusal) {
    Descriptor folder(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return failure(where, errno, refusal);
    stream = adoptStream(folder);
    if (!stream) incomplete(where, errno);
    return Outcome::read;
}

// Lists `stream` to its end; a listing cut short by an error is never used.
Outcome listNames(DIR* stream, const std::string& where, std::vector<std::string>& names) {
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (entry == nullptr) return errno == 0 ? Outcome::read : failure(where, errno);
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
}

// The kernel never writes more than PATH_MAX - 1 bytes for a link of the
// process table, so a target that fills this buffer may have been cut.
constexpr std::size_t linkBufferSize = PATH_MAX - 1;

constexpr std::string_view deletedMark = " (deleted)";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// One folder of the table, a process's own or one of its threads' (task/<tid>), read through a descriptor of
// it.
class Folder {
public:
    Folder(int at, const std::string& name, const std::string& where)
        : where_(where), fd_(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (!fd_) opened_ = failure(where_, errno, Refusal::allowed);
    }

    Outcome opened() const { return opened_; }
    int fd() const { return fd_.get(); }
    std::string where(const std::string& name) const { return where_ + "/" + name; }

    // Reads the whole file `name` of the folder into `text`.
    Outcome readFile(const std::string& name, std::string& text, Refusal refusal = Refusal::fails) const {
        const Descriptor file(::openat(fd_.get(), name.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file) return failure(where(name), errno, refusal);
        const int error = readAtMost(file.get(), std::numeric_limits<std::size_t>::max(), text);
        return error == 0 ? Outcome::read : failure(where(name), error, refusal);
    }

    // Reads the link `name` relative to `at` (this folder or its fd/).
    Outcome readLink(int at, const std::string& name, const std::string& place, std::string& target,
                     Refusal refusal = Refusal::fails) const {
        char buffer[linkBufferSize];
        const ssize_t n = ::readlinkat(at, name.c_str(), buffer, sizeof buffer);
        if (n < 0) return failure(place, errno, refusal);
        if (static_cast<std::size_t>(n) >= sizeof buffer) incomplete(place, ENAMETOOLONG);
        target.assign(buffer, static_cast<std::size_t>(n));
        return Outcome::read;
    }
    Outcome readLink(const std::string& name, std::string& target, Refusal refusal = Refusal::fails) const {
        return readLink(fd_.get(), name, where(name), target, refusal);
    }

private:
    std::string where_;
    Descriptor fd_;
    Outcome opened_ = Outcome::read;
};

// Returns the ids of the threads of `process` (numbered `pid`) other than its first, whose id is the process's.
std::vector<std::string> otherThreads(const Folder& process, const std::string& pid) {
    // The kernel counts the threads in the link count of the task folder (two, plus one per thread): a process
    // of one thread, most of them, is told by one stat without listing the folder.
    struct stat task {};
    std::vector<std::string> ids;
    if (::fstatat(process.fd(), "task", &task, 0) != 0) {
        failure(process.where("task"), errno, Refusal::allowed);
        return ids;
    }
    DirectoryStream stream;
    if (task.st_nlink == 3 ||
        openFolder(process.fd(), "task", process.where("task"), stream, Refusal::allowed) != Outcome::read ||
        listNames(stream.get(), process.where("task"), ids) != Outcome::read)
        return {};
    ids.erase(std::remove(ids.begin(), ids.end(), pid), ids.end());
    return ids;
}

// Opens the folder of thread `id` of `process`.
Folder threadFolder(const Folder& process, const std::string& id) {
    return Folder(process.fd(), "task/" + id, process.where("task/" + id));
}

// Returns the value after `key` on its line of a status text, or nothing.
std::string_view statusValue(std::string_view status, std::string_view key) {
    // Built piece by piece: GCC 12 warns falsely (-Wrestrict, at -O3) when a
    // literal is put in front of a temporary string.
    std::string lineStart(1, '\n');
    lineStart.append(key);
    std::size_t at = status.rfind(key, 0) == 0 ? 0 : status.find(lineStart);
    if (at == std::string_view::npos) return {};
    at = status.find_first_not_of(" \t", status.find(':', at) + 1);
    if (at == std::string_view::npos) return {};
    const std::size_t end = status.find('\n', at);
    return status.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
}

// What a status text says of its process.
struct Status {
    unsigned long realUid = 0;
    bool zombie = false; // state Z or X: it has let go of all it held
};

Status parseStatus(const std::string& text, const std::string& where) {
    const std::string_view state = statusValue(text, "State:");
    const std::string_view uid = statusValue(text, "Uid:");
    Status status;
    if (state.empty() || std::from_chars(uid.data(), uid.data() + uid.size(), status.realUid).ec != std::errc())
        throw ProcessTableError("Cannot read " + where + ": no State or Uid line");
    status.zombie = state[0] == 'Z' || state[0] == 'X';
    return status;
}

// What is known of a process's first thread when it is visited.
enum class Leader { unchecked, live, exited };

// The entries of a process table (a folder shaped like /proc), listed once.
class Table {
public:
    // Lists `root`; the table itself has no "ended": a missing or unreadable root fails.
    explicit Table(const std::string& root) : root_(root) {
        Descriptor fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd || !(stream_ = adoptStream(fd)))
            throw ProcessTableError("Cannot list " + root + ": " + errorText(errno));
        if (listNames(stream_.get(), root, names_) != Outcome::read)
            throw ProcessTableError("Cannot list " + root + ": " + errorText(ENOENT));
    }

    std::size_t size() const { return names_.size(); }

    // Calls `visit(process, pid, leader)` with each process of the real user among the entries `from` to `to`
    // that was not found dead (see the header): `leader` tells whether its status was read, and then whether
    // its first thread was live or had exited while other threads live on.
    template <class Visit>
    void forEachProcessOfUser(std::size_t from, std::size_t to, Visit visit) const {
        const uid_t user = getuid();
        std::string text;
        for (std::size_t i = from; i < to; ++i) {
            const std::string& name = names_[i];
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            const Folder process(dirfd(stream_.get()), name, root_ + "/" + name);
            if (process.opened() != Outcome::read) continue;
            struct stat folder {};
            if (::fstat(process.fd(), &folder) != 0) incomplete(root_ + "/" + name, errno);
            // The kernel gives a process's folder to its effective user (so that
            // a stat tells it cheaply): a folder of the user's is the user's
            // process without reading its status, which costs several times
            // more. Any other is the user's when its status names the user as
            // its real user.
            if (folder.st_uid == user) {
                visit(process, name, Leader::unchecked);
                continue;
            }
            if (process.readFile("status", text, Refusal::allowed) != Outcome::read) continue;
            const Status status = parseStatus(text, process.where("status"));
            if (status.realUid != user) continue;
            if (!status.zombie) visit(process, name, Leader::live);
            else if (!otherThreads(process, name).empty()) visit(process, name, Leader::exited);
        }
    }
    template <class Visit> void forEachProcessOfUser(Visit visit) const { forEachProcessOfUser(0, size(), visit); }

private:
    std::string root_;
    DirectoryStream stream_;
    std::vector<std::string> names_;
};

// Adds `path` if it is absolute, and again without the kernel's mark of a
// removed file: the name may really end in that text.
void addReadings(const std::string& path, std::vector<std::string>& paths) {
    if (path.empty() || path.front() != '/') return;
    paths.push_back(path);
    if (endsWith(path, deletedMark)) paths.push_back(path.substr(0, path.size() - deletedMark.size()));
}

// Adds the path of each file-backed mapping of a maps text. A line is
// "address perms offset device inode", blanks, then the path, which begins
// with "/" and runs to the line feed; maps writes a line feed in a name as
// "\012", which a name may also hold as four characters of its own.
void addMappedPaths(const std::string& maps, std::vector<std::string>& paths) {
    constexpr std::string_view escapedLineFeed = "\\012";
    std::string_view previous;
    for (std::size_t start = 0; start < maps.size();) {
        std::size_t end = maps.find('\n', start);
        if (end == std::string::npos) end = maps.size();
        const std::string_view line(maps.data() + start, end - start);
        start = end + 1;
        const std::size_t slash = line.find(" /");
        if (slash == std::string_view::npos) continue;
        const std::string_view path = line.substr(slash + 1);
        // A file mapped in several pieces is listed on consecutive lines.
        if (path == previous) continue;
        previous = path;
        addReadings(std::string(path), paths);
        if (path.find(escapedLineFeed) == std::string_view::npos) continue;
        std::string unescaped;
        for (std::size_t at = 0;;) {
            const std::size_t next = path.find(escapedLineFeed, at);
            unescaped.append(path.substr(at, next == std::string_view::npos ? next : next - at));
            if (next == std::string_view::npos) break;
            unescaped += '\n';
            at = next + escapedLineFeed.size();
        }
        addReadings(unescaped, paths);
    }
}

// Returns whether kcmp may be asked about the threads of the table at `root`: only where it is the kernel's table of
// this process's own namespace, whose numbers are the ones kcmp takes. A folder of another kind (or the table of
// another namespace) is read thread by thread in full.
bool kernelsOwnTable(const std::string& root) {
    struct statfs kind {};
    char self[32];
    const ssize_t n = ::readlink((root + "/self").c_str(), self, sizeof self);
    return ::statfs(root.c_str(), &kind) == 0 && kind.f_type == PROC_SUPER_MAGIC && n > 0 &&
           std::string_view(self, static_cast<std::size_t>(n)) == std::to_string(::getpid());
}

// Returns whether thread `id` may hold another `resource` (KCMP_FILES: file table; KCMP_FS: working and root
// folders) than thread `reference` of the same process: unless kcmp says they share it, where it may not be
// asked, is not built into the kernel, is refused or the thread has ended (then the read finds it gone).
bool mayDiffer(bool askKernel, const std::string& reference, const std::string& id, int resource) {
    return !askKernel || ::syscall(SYS_kcmp, std::stol(reference), std::stol(id), resource, 0, 0) != 0;
}

// What a thread holds; threads always share their memory, and share or not their file table and folders.
constexpr unsigned fileTable = 1, folders = 2, memory = 4, everything = fileTable | folders | memory;

// Adds the targets of the descriptors of the process or thread at `folder`, unless its fd/ is refused or gone.
void addDescriptorPaths(const Folder& folder, std::vector<std::string>& paths) {
    DirectoryStream descriptors;
    std::vector<std::string> numbers;
    std::string target;
    const std::string fdFolder = folder.where("fd");
    if (openFolder(folder.fd(), "fd", fdFolder, descriptors, Refusal::allowed) != Outcome::read ||
        listNames(descriptors.get(), fdFolder, numbers) != Outcome::read)
        return;
    for (const std::string& number : numbers)
        // A descriptor closed since the listing holds nothing any more.
        if (folder.readLink(dirfd(descriptors.get()), number, fdFolder + "/" + number, target, Refusal::allowed) ==
            Outcome::read)
            addReadings(target, paths);
}

// Adds what the process or thread at `folder` holds among `parts`, in the order cwd, root, fd/, exe, maps.
// Returns whether its working folder was found gone: a first thread that has exited holds nothing any more.
bool addHeldPaths(const Folder& folder, unsigned parts, std::vector<std::string>& paths) {
    // Every link and the maps of a process pass the same access check, which a process that made itself
    // non-dumpable, or holds capabilities the reader lacks, fails for everyone without ptrace rights over it
    // (root included, where it came from an outer namespace); a sandbox in its own user namespace may pass it
    // for cwd and fail it for fd/. Each refused part is passed over: no more can be learnt of it.
    std::string target;
    if (parts & folders) {
        const Outcome cwd = folder.readLink("cwd", target, Refusal::allowed);
        if (cwd == Outcome::ended) return true;
        if (cwd == Outcome::read) addReadings(target, paths);
        if (folder.readLink("root", target, Refusal::allowed) == Outcome::read) addReadings(target, paths);
    }
    if (parts & fileTable) addDescriptorPaths(folder, paths);
    if (!(parts & memory)) return false;
    // "exe" is missing for a kernel thread and for a process on its way out.
    if (folder.readLink("exe", target, Refusal::allowed) == Outcome::read) addReadings(target, paths);
    if (folder.readFile("maps", target, Refusal::allowed) == Outcome::read) addMappedPaths(target, paths);
    return false;
}

// Adds the last component of the executable's path of the process or thread at `folder`; returns false when
// the kernel gives no such path.
bool addExecutableName(const Folder& folder, std::string& text, std::vector<std::string>& names) {
    if (folder.readLink("exe", text, Refusal::allowed) != Outcome::read) return false;
    if (endsWith(text, deletedMark)) text.resize(text.size() - deletedMark.size());
    names.push_back(baseName(text));
    return true;
}

// Adds the last component of argv[0] of the process or thread at `folder`, or where that is empty its short
// name; returns false when it has ended.
bool addShortName(const Folder& folder, std::string& text, std::vector<std::string>& names) {
    // The command line and short name are readable by anyone.
    if (folder.readFile("cmdline", text) == Outcome::ended) return false;
    const std::string argv0 = text.substr(0, text.find('\0'));
    if (!argv0.empty()) {
        names.push_back(baseName(argv0));
        return true;
    }
    if (folder.readFile("comm", text) == Outcome::ended) return false;
    if (endsWith(text, "\n")) text.pop_back();
    names.push_back(text);
    return true;
}


// Adds what the processes of the user among the entries `from` to `to` of `table` hold.
void addOpenPaths(const Table& table, std::size_t from, std::size_t to, bool askKernel,
                  std::vector<std::string>& paths) {
    table.forEachProcessOfUser(from, to, [&](const Folder& process, const std::string& pid, Leader) {
        // A first thread that has exited leaves its threads holding what it held: the first of them that is live
        // is then read in full in its place. Any other thread is read only for what it does not share with that
        // one; most share everything.
        std::string reference = addHeldPaths(process, everything, paths) ? "" : pid;
        for (const std::string& id : otherThreads(process, pid)) {
            const unsigned parts = reference.empty() ? everything
                                   : (mayDiffer(askKernel, reference, id, KCMP_FILES) ? fileTable : 0U) |
                                         (mayDiffer(askKernel, reference, id, KCMP_FS) ? folders : 0U);
            if (parts == 0) continue;
            const Folder thread = threadFolder(process, id);
            // A thread that ended meanwhile is simply gone.
            if (thread.opened() == Outcome::read && !addHeldPaths(thread, parts, paths) && reference.empty())
                reference = id;
        }
    });
}

} // namespace

std::vector<std::string> openFilePaths(const std::string& root) {
    const Table table(root);
    const bool askKernel = kernelsOwnTable(root);
    // Almost all of a reading is the kernel naming each descriptor's file, one
    // call each: the second half of the table is read on a thread of its own,
    // so that a busy desktop's table takes half the time where two processors
    // are free. A failure of either half fails the reading.
    const std::size_t half = table.size() / 2;
    auto secondHalf = std::async(std::launch::async, [&] {
        std::vector<std::string> found;
        addOpenPaths(table, half, table.size(), askKernel, found);
        return found;
    });
    std::vector<std::string> paths;
    addOpenPaths(table, 0, half, askKernel, paths);
    std::vector<std::string> rest = secondHalf.get();
    paths.insert(paths.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
    return paths;
}

std::vector<std::string> executableNames(const std::string& root) {
    std::vector<std::string> names;
    std::string text;
    Table(root).forEachProcessOfUser([&](const Folder& process, const std::string& pid, Leader leader) {
        if (leader != Leader::exited && addExecutableName(process, text, names)) return;
        // No executable path: a kernel thread, a process that may not be inspected, or a zombie, which runs
        // nothing unless only its first thread has exited: then its first live thread tells what it runs.
        bool exited = leader == Leader::exited;
        if (leader == Leader::unchecked) {
            if (process.readFile("status", text) == Outcome::ended) return;
            exited = parseStatus(text, process.where("status")).zombie;
        }
        if (!exited) {
            addShortName(process, text, names);
            return;
        }
        for (const std::string& id : otherThreads(process, pid)) {
            const Folder thread = threadFolder(process, id);
            if (thread.opened() == Outcome::read &&
                (addExecutableName(thread, text, names) || addShortName(thread, text, names)))
                return;
        }
    });
    return names;
}

} // namespace quillon::platform
