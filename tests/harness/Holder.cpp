#include "tests/harness/Holder.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::harness {

using platform::Descriptor;

namespace {

// Opens (or maps) what the child holds; after fork in a process that may
// have threads, so only calls that are safe there.
bool holdAll(const std::vector<HeldFile>& files, const char* folder) {
    for (const HeldFile& file : files) {
        const int fd = ::open(file.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) return false;
        struct stat status {};
        if (!file.mapped || ::fstat(fd, &status) != 0 || status.st_size == 0) continue; // an empty file cannot be mapped
        if (::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED)
            return false;
        ::close(fd);
    }
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    return fd >= 0 && ::fchdir(fd) == 0;
}

} // namespace

Holder::Holder(const std::vector<HeldFile>& files, const std::string& folder) {
    int ready[2], stop[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    Descriptor readyRead(ready[0]), readyWrite(ready[1]);
    if (::pipe2(stop, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    Descriptor stopRead(stop[0]);
    stop_ = Descriptor(stop[1]);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        ::close(stop_.get());
        const char answer = holdAll(files, folder.c_str()) ? 'y' : 'n';
        if (::write(readyWrite.get(), &answer, 1) != 1 || answer != 'y') ::_exit(1);
        char byte = 0;
        while (::read(stopRead.get(), &byte, 1) != 0 && errno == EINTR) {
        }
        ::_exit(0);
    }
    readyWrite.reset();
    char answer = 0;
    ssize_t n = 0;
    while ((n = ::read(readyRead.get(), &answer, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1 || answer != 'y') {
        end();
        throw std::runtime_error("the holding child could not open every file it was given");
    }
}

Holder::~Holder() { end(); }

void Holder::end() {
    stop_.reset();
    if (pid_ > 0)
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    pid_ = -1;
}

} // namespace quillon::harness
