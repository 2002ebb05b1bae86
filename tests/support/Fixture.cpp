#include "tests/support/Fixture.h"

#include "tests/support/Processes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::testing {

namespace {

std::string& rootStorage() {
    static std::string root;
    return root;
}

[[noreturn]] void failed(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

std::string realPath(const char* path) {
    char* real = path ? realpath(path, nullptr) : nullptr;
    const std::string resolved = real ? real : "";
    std::free(real);
    return resolved;
}

bool inside(const char* variable, const std::string& root) {
    const std::string resolved = realPath(std::getenv(variable));
    return !resolved.empty() && (resolved == root || resolved.rfind(root + "/", 0) == 0);
}

} // namespace

void setUpFixtureRoot() {
    char pattern[] = "/tmp/quillon-fixture-XXXXXX";
    if (mkdtemp(pattern) == nullptr) failed("mkdtemp");
    const std::string root = rootStorage() = realPath(pattern);
    // Readable by all, so that a test may drop to another user and still reach
    // the folders it made for that user; what is private inside stays 0700.
    if (chmod(root.c_str(), 0755) != 0) failed("chmod");
    writeFile(root + "/.quillon-fixture", "private test fixture\n");
    for (const char* sub : {"/home", "/tmp", "/home/.cache", "/home/.config", "/home/.local", "/home/.local/state"})
        if (mkdir((root + sub).c_str(), 0700) != 0) failed("mkdir");
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/home/.cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/home/.local/state").c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
}

void tearDownFixtureRoot() {
    const std::string& root = rootStorage();
    if (root.rfind("/tmp/quillon-fixture-", 0) != 0) return;
    // Fixtures may hold folders without write permission; take it back first.
    runProgram({"/bin/chmod", "-R", "u+rwx", root});
    runProgram({"/bin/rm", "-rf", "--one-file-system", root});
}

const std::string& fixtureRoot() { return rootStorage(); }

void requireFixtureEnvironment() {
    const std::string& root = rootStorage();
    if (root.empty() || !exists(root + "/.quillon-fixture") || !inside("HOME", root) || !inside("TMPDIR", root) ||
        !inside("XDG_CACHE_HOME", root) || !inside("XDG_CONFIG_HOME", root) || !inside("XDG_STATE_HOME", root)) {
        std::fprintf(stderr, "refusing to run: HOME, TMPDIR and the XDG folders must point into the test fixture\n");
        std::abort();
    }
}

std::string freshDirectory(const std::string& label) {
    static int counter = 0;
    const std::string path = rootStorage() + "/" + label + "-" + std::to_string(++counter);
    if (mkdir(path.c_str(), 0755) != 0) failed("mkdir " + path);
    return path;
}

void makeDirectory(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) failed("mkdir " + prefix);
        if (slash == std::string::npos) break;
    }
}

void writeFile(const std::string& path, const std::string& contents) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) failed("open " + path);
    for (std::size_t done = 0; done < contents.size();) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) {
            close(fd);
            failed("write " + path);
        }
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

std::string readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failed("open " + path);
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    close(fd);
    return out;
}

void makeSymlink(const std::string& target, const std::string& path) {
    if (symlink(target.c_str(), path.c_str()) != 0) failed("symlink " + path);
}

void makeHardLink(const std::string& existing, const std::string& path) {
    if (link(existing.c_str(), path.c_str()) != 0) failed("link " + path);
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

void setModificationTime(const std::string& path, double seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) failed("utimensat " + path);
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int openDescriptorCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = -1; // the listing's own descriptor
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

ScopedVariable::ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

ScopedVariable::~ScopedVariable() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
}

} // namespace quillon::testing
