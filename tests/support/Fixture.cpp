#include "tests/support/Fixture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::testing {

namespace {
[[noreturn]] void failed(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }
} // namespace

std::string freshDirectory(const std::string& label) {
    static int counter = 0;
    const std::string path = fixtureRoot() + "/" + label + "-" + std::to_string(++counter);
    if (mkdir(path.c_str(), 0755) != 0) failed("mkdir " + path);
    return path;
}

void makeDirectory(const std::string& path) {
    for (std::size_t slash = 0; slash != std::string::npos;)
        if (mkdir(path.substr(0, slash = path.find('/', slash + 1)).c_str(), 0755) != 0 && errno != EEXIST)
            failed("mkdir " + path);
}

void writeFile(const std::string& path, const std::string& contents) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) failed("open " + path);
    const bool whole = write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    close(fd);
    if (!whole) failed("write " + path);
}

std::string readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failed("open " + path);
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return out;
}

void makeSymlink(const std::string& target, const std::string& path) { std::filesystem::create_symlink(target, path); }

void makeHardLink(const std::string& existing, const std::string& path) {
    std::filesystem::create_hard_link(existing, path);
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
    int count = -1; // the listing's own descriptor
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
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
