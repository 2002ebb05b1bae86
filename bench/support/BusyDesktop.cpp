// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "bench/support/BusyDesktop.h"

#include "bench/support/BenchSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::bench {

using platform::Descriptor;

namespace {

constexpr int openPool = 3000;   // distinct files the processes hold open, shared between neighbours
constexpr int mappedPool = 300;  // distinct files they map, as libraries and fonts are shared
constexpr std::size_t mappedBytes = 8192;

[[noreturn]] void failed(const std::string& what) {
    throw std::runtime_error("busy desktop: " + what + ": " + std::strerror(errno));
}

std::vector<std::string> makeFiles(const std::string& folder, int count, std::size_t bytes) {
    makeDirectories(folder);
    const std::string content(bytes, 'd');
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(folder + "/file-" + std::to_string(i));
        writeFile(paths.back(), content);
    }
    return paths;
}

void raiseDescriptorLimit(rlim_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) failed("getrlimit");
    if (limit.rlim_cur >= wanted) return;
    if (limit.rlim_max < wanted) throw std::runtime_error("busy desktop: the descriptor limit is too low");
    limit.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) failed("setrlimit");
}

// The body of one simulated process, after fork: opens `descriptors` files
// of the pool from `first` on, maps `mappings` files, reports on `ready`,
// then waits for end of file on `stop`. Only calls that are safe after fork.
[[noreturn]] void holdFiles(const std::vector<const char*>& open, const std::vector<const char*>& mapped, int first,
                            int descriptors, int mappings, int ready, int stop) {
    char answer = 'y';
    for (int j = 0; j < descriptors && answer == 'y'; ++j)
        if (::open(open[static_cast<std::size_t>((first + j) % openPool)], O_RDONLY) < 0) answer = 'n';
    for (int j = 0; j < mappings && answer == 'y'; ++j) {
        const int fd = ::open(mapped[static_cast<std::size_t>((first + 7 * j) % mappedPool)], O_RDONLY);
        if (fd < 0 || ::mmap(nullptr, mappedBytes, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED) answer = 'n';
        ::close(fd);
    }
    if (::write(ready, &answer, 1) != 1) ::_exit(1);
    ::close(ready);
    char byte = 0;
    while (::read(stop, &byte, 1) != 0 && errno == EINTR) {
    }
    ::_exit(0);
}

} // namespace

BusyDesktop::Children::~Children() {
    for (const pid_t pid : pids) ::kill(pid, SIGKILL);
    for (const pid_t pid : pids)
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
}

BusyDesktop::~BusyDesktop() = default;

BusyDesktop::BusyDesktop(const std::string& folder, const DesktopShape& shape) {
    raiseDescriptorLimit(static_cast<rlim_t>(std::max(shape.openFiles, shape.heavyDescriptors) + 64));
    const std::vector<std::string> openPaths = makeFiles(folder + "/open", openPool, 64);
    const std::vector<std::string> mappedPaths = makeFiles(folder + "/mapped", mappedPool, mappedBytes);
    std::vector<const char*> open, mapped;
    for (const std::string& path : openPaths) open.push_back(path.c_str());
    for (const std::string& path : mappedPaths) mapped.push_back(path.c_str());

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) failed("pipe");
    Descriptor readyRead(ends[0]), readyWrite(ends[1]);
    if (::pipe2(ends, O_CLOEXEC) != 0) failed("pipe");
    Descriptor stopRead(ends[0]);
    stop_ = Descriptor(ends[1]);

    const int total = shape.processes + shape.heavy;
    for (int i = 0; i < total; ++i) {
        const bool heavy = i >= shape.processes;
        const pid_t pid = ::fork();
        if (pid < 0) failed("fork");
        if (pid == 0) {
            ::close(readyRead.get());
            ::close(stop_.get());
            holdFiles(open, mapped, i * 10, heavy ? shape.heavyDescriptors : shape.openFiles, shape.mappings,
                      readyWrite.get(), stopRead.get());
        }
        children_.pids.push_back(pid);
    }
    readyWrite.reset();
    stopRead.reset();
    for (int reported = 0; reported < total;) {
        char answer = 0;
        const ssize_t n = ::read(readyRead.get(), &answer, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) failed("a process ended before it held its files");
        if (answer != 'y') throw std::runtime_error("busy desktop: a process could not open or map its files");
        ++reported;
    }
}

} // namespace quillon::bench
