// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Run: build/bench/fs_bench   (options: --dirs N --files N --batches N --rm-first --probe-dirs N --no-strace)
//
// Benchmark of the guarded filesystem layer (fs/). It builds two identical
// trees of small files (by default 1 000 directories of 100 files each),
// inspects the first into a Node tree and removes it with removeChecked, and
// removes the second with `rm -rf`, in the same run. It prints both wall
// times and their ratio, the system calls per file (counted with `strace -c`
// on a smaller tree of the same shape: 100 files per directory), the memory
// of the Node tree per file, and the peak resident memory.
//
// Everything happens in a private fixture folder made with mkdtemp under
// /tmp; HOME, TMPDIR and XDG_CACHE_HOME point into it, and it is removed at
// the end.

#include "core/Errors.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "platform/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <malloc.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using quillon::platform::Descriptor;
using quillon::Node;
using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double nowSeconds() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// ---- fixture ----------------------------------------------------------------

std::string makeFixture() {
    char pattern[] = "/tmp/quillon-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) fail("mkdtemp");
    char* real = ::realpath(pattern, nullptr);
    if (real == nullptr) fail("realpath");
    const std::string root = real;
    std::free(real);
    for (const char* sub : {"/home", "/home/.cache", "/tmp"})
        if (::mkdir((root + sub).c_str(), 0700) != 0) fail("mkdir");
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root + "/home/.cache").c_str(), 1);
    return root;
}

// Runs argv (argv[0] an absolute path) and returns its exit status.
int run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (std::string& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, args[0], nullptr, nullptr, args.data(), environ) != 0) return 127;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return 127;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void removeFixture(const std::string& root) {
    if (root.rfind("/tmp/quillon-bench-", 0) != 0) return;
    run({"/bin/rm", "-rf", "--one-file-system", root});
}

// Builds `tree` inside `parent`: `dirs` directories of `files` files each,
// every file holding 64 bytes.
void buildTree(const std::string& parent, const std::string& tree, int dirs, int files) {
    const std::string top = parent + "/" + tree;
    if (::mkdir(top.c_str(), 0755) != 0) fail("mkdir " + top);
    const Descriptor topFd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFd) fail("open " + top);
    const std::string payload(64, 'p');
    char name[32];
    for (int d = 0; d < dirs; ++d) {
        std::snprintf(name, sizeof name, "d%04d", d);
        if (::mkdirat(topFd.get(), name, 0755) != 0) fail("mkdirat");
        const Descriptor dirFd(::openat(topFd.get(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dirFd) fail("openat");
        for (int f = 0; f < files; ++f) {
            std::snprintf(name, sizeof name, "f%03d", f);
            const Descriptor file(::openat(dirFd.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!file) fail("openat file");
            if (::write(file.get(), payload.data(), payload.size()) != static_cast<ssize_t>(payload.size()))
                fail("write");
        }
    }
}

// ---- memory -----------------------------------------------------------------

// The heap a Node tree holds besides its top node: each directory's child
// array (capacity × sizeof(Node)) and each name that does not fit in the
// string's own storage.
std::size_t treeHeapBytes(const Node& node) {
    std::size_t total = 0;
    const std::string empty;
    if (node.name.capacity() > empty.capacity()) total += node.name.capacity() + 1;
    total += node.children.capacity() * sizeof(Node);
    for (const Node& child : node.children) total += treeHeapBytes(child);
    return total;
}

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return -1;
}

// ---- system call counts ----------------------------------------------------

std::string findStrace() {
    for (const char* candidate : {"/usr/bin/strace", "/bin/strace", "/usr/local/bin/strace"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return "";
}

// Reads the summary table of `strace -c` into calls per system call.
std::map<std::string, long> readStraceSummary(const std::string& path) {
    std::map<std::string, long> calls;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;) parts.push_back(part);
        if (parts.size() < 5 || parts[0] == "%" || parts[0].front() == '-') continue;
        if (parts.back() == "total") continue;
        calls[parts.back()] += std::strtol(parts[3].c_str(), nullptr, 10);
    }
    return calls;
}

long totalCalls(const std::map<std::string, long>& calls) {
    long total = 0;
    for (const auto& entry : calls) total += entry.second;
    return total;
}

std::map<std::string, long> traced(const std::string& strace, const std::string& output,
                                   const std::vector<std::string>& command) {
    std::vector<std::string> argv = {strace, "-f", "-c", "-o", output};
    argv.insert(argv.end(), command.begin(), command.end());
    if (run(argv) != 0) throw std::runtime_error("traced command failed: " + command.front());
    return readStraceSummary(output);
}

std::string selfPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) fail("readlink /proc/self/exe");
    return std::string(buffer, static_cast<std::size_t>(n));
}

// The probe: run in a child under strace. Inspects <parent>/<name> and, in
// mode "remove", removes it with removeChecked.
int probe(const std::string& mode, const std::string& parent, const std::string& name) {
    const Descriptor parentFd = quillon::openDirectory(parent);
    struct stat status {};
    if (::fstat(parentFd.get(), &status) != 0) return 1;
    const Node tree = quillon::inspect(parentFd.get(), name, nowSeconds() + 100, status.st_dev);
    if (mode == "remove") {
        std::int64_t removed = 0;
        quillon::removeChecked(parentFd.get(), tree, removed);
    }
    return 0;
}

struct CallsPerFile {
    double inspect = 0, remove = 0, rm = 0;
    std::map<std::string, double> inspectBySyscall, removeBySyscall, rmBySyscall;
};

std::map<std::string, double> perFile(const std::map<std::string, long>& run, const std::map<std::string, long>& base,
                                      double files) {
    std::map<std::string, double> result;
    for (const auto& [name, count] : run) {
        const auto found = base.find(name);
        const long extra = count - (found == base.end() ? 0 : found->second);
        if (extra != 0) result[name] = static_cast<double>(extra) / files;
    }
    return result;
}

CallsPerFile countCalls(const std::string& strace, const std::string& root, int dirs, int files) {
    const std::string work = root + "/probe";
    if (::mkdir(work.c_str(), 0755) != 0) fail("mkdir probe");
    buildTree(work, "tree", dirs, files);
    buildTree(work, "plain", dirs, files);
    buildTree(work, "empty", 0, 0);
    buildTree(work, "empty2", 0, 0);
    ::sync();
    const std::string self = selfPath();
    const std::string out = root + "/strace.txt";
    const auto inspectBase = traced(strace, out, {self, "--probe", "inspect", work, "empty"});
    const auto inspectRun = traced(strace, out, {self, "--probe", "inspect", work, "tree"});
    const auto removeBase = traced(strace, out, {self, "--probe", "remove", work, "empty"});
    const auto removeRun = traced(strace, out, {self, "--probe", "remove", work, "tree"});
    const auto rmBase = traced(strace, out, {"/bin/rm", "-rf", work + "/empty2"});
    const auto rmRun = traced(strace, out, {"/bin/rm", "-rf", work + "/plain"});
    struct stat gone {};
    if (::lstat((work + "/tree").c_str(), &gone) == 0 || ::lstat((work + "/plain").c_str(), &gone) == 0)
        throw std::runtime_error("a probe tree was not removed");
    const double n = static_cast<double>(dirs) * files;
    CallsPerFile result;
    const double inspectCalls = static_cast<double>(totalCalls(inspectRun) - totalCalls(inspectBase)) / n;
    const double bothCalls = static_cast<double>(totalCalls(removeRun) - totalCalls(removeBase)) / n;
    result.inspect = inspectCalls;
    result.remove = bothCalls - inspectCalls;
    result.rm = static_cast<double>(totalCalls(rmRun) - totalCalls(rmBase)) / n;
    result.inspectBySyscall = perFile(inspectRun, inspectBase, n);
    result.removeBySyscall = perFile(removeRun, removeBase, n);
    for (const auto& [name, value] : result.inspectBySyscall) result.removeBySyscall[name] -= value;
    result.rmBySyscall = perFile(rmRun, rmBase, n);
    return result;
}

std::string breakdown(const std::map<std::string, double>& bySyscall) {
    std::vector<std::pair<std::string, double>> rows(bySyscall.begin(), bySyscall.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text;
    char item[96];
    for (const auto& [name, value] : rows) {
        if (value < 0.005) continue;
        std::snprintf(item, sizeof item, "%s%s %.2f", text.empty() ? "" : ", ", name.c_str(), value);
        text += item;
    }
    return text;
}

// ---- the benchmark ---------------------------------------------------------

struct Options {
    int dirs = 1000;
    int files = 100;
    int probeDirs = 100;
    bool strace = true;
    bool rmFirst = false;
    int batches = 20;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> int {
            if (i + 1 >= argc) throw std::runtime_error("missing value after " + arg);
            return std::atoi(argv[++i]);
        };
        if (arg == "--dirs") options.dirs = value();
        else if (arg == "--files") options.files = value();
        else if (arg == "--probe-dirs") options.probeDirs = value();
        else if (arg == "--no-strace") options.strace = false;
        else if (arg == "--rm-first") options.rmFirst = true;
        else if (arg == "--batches") options.batches = value();
        else throw std::runtime_error("unknown option " + arg);
    }
    if (options.dirs < 1 || options.files < 1 || options.probeDirs < 1 || options.batches < 1)
        throw std::runtime_error("counts must be positive");
    return options;
}

// Runs `work` on a synced file system; returns its wall time in seconds.
template <typename Work> double timedAfterSync(const Work& work) {
    ::sync();
    const auto begin = Clock::now();
    work();
    return seconds(begin);
}

void rmPaths(const std::vector<std::string>& paths) {
    std::vector<std::string> argv = {"/bin/rm", "-rf"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    if (run(argv) != 0) throw std::runtime_error("rm -rf failed");
}

// The inspection of the "checked" tree, with the memory it takes.
struct Inspection {
    Node tree;
    double time = 0;
    std::size_t treeBytes = 0;
    std::size_t heapGrowth = 0;
    long rssBefore = 0;
    long rssAfter = 0;
};

Inspection inspectChecked(const Descriptor& parent, long files) {
    struct stat rootStatus {};
    if (::fstat(parent.get(), &rootStatus) != 0) fail("fstat");
    Inspection result;
    result.rssBefore = statusKiB("VmRSS");
    const std::size_t heapBefore = ::mallinfo2().uordblks;
    const auto start = Clock::now();
    result.tree = quillon::inspect(parent.get(), "checked", nowSeconds() + 100, rootStatus.st_dev);
    result.time = seconds(start);
    result.heapGrowth = ::mallinfo2().uordblks - heapBefore;
    result.rssAfter = statusKiB("VmRSS");
    const std::int64_t treeFiles = quillon::fileCount(result.tree);
    if (treeFiles != files) throw std::runtime_error("inspection counted " + std::to_string(treeFiles) + " files");
    result.treeBytes = sizeof(Node) + treeHeapBytes(result.tree);
    return result;
}

// The two removals: removeChecked of the "checked" tree, `rm -rf` of the
// "plain" one.
struct Removal {
    std::int64_t removed = 0;
    double ours = 0;
    double theirs = 0;
    std::vector<double> batchRatios; // ours / theirs of each batch
};

// Each tree in one piece: removeChecked of the whole tree, `rm -rf` of the
// whole other tree.
Removal removeWhole(const Descriptor& parent, const Node& tree, const std::string& root, bool rmFirst) {
    Removal result;
    const auto ours = [&] {
        result.ours = timedAfterSync([&] { quillon::removeChecked(parent.get(), tree, result.removed); });
    };
    const auto theirs = [&] { result.theirs = timedAfterSync([&] { rmPaths({root + "/plain"}); }); };
    if (rmFirst) {
        theirs();
        ours();
    } else {
        ours();
        theirs();
    }
    return result;
}

// The directories split into batches: for each batch removeChecked (one call
// per directory, as the clean run makes one call per planned item) and one
// `rm -rf` of the same directories of the other tree, one after the other,
// the first of the two alternating.
Removal removeInBatches(const Descriptor& parent, const Node& tree, const std::string& root, int batches,
                        bool rmFirst) {
    Removal result;
    const Descriptor checked = quillon::openDirectory(root + "/checked");
    const std::size_t count = tree.children.size();
    for (int b = 0; b < batches; ++b) {
        const std::size_t from = count * static_cast<std::size_t>(b) / static_cast<std::size_t>(batches);
        const std::size_t to = count * static_cast<std::size_t>(b + 1) / static_cast<std::size_t>(batches);
        std::vector<std::string> plainPaths;
        for (std::size_t i = from; i < to; ++i) plainPaths.push_back(root + "/plain/" + tree.children[i].name);
        double ours = 0, theirs = 0;
        const auto runOurs = [&] {
            ours = timedAfterSync([&] {
                for (std::size_t i = from; i < to; ++i)
                    quillon::removeChecked(checked.get(), tree.children[i], result.removed);
            });
        };
        const auto runTheirs = [&] { theirs = timedAfterSync([&] { rmPaths(plainPaths); }); };
        if ((b % 2 == 0) != rmFirst) {
            runOurs();
            runTheirs();
        } else {
            runTheirs();
            runOurs();
        }
        result.ours += ours;
        result.theirs += theirs;
        result.batchRatios.push_back(ours / theirs);
    }
    // The two emptied top directories (not timed: one rmdir each).
    std::int64_t children = 0;
    for (const Node& child : tree.children) children += child.bytes;
    result.removed += tree.bytes - children;
    if (::unlinkat(parent.get(), "checked", AT_REMOVEDIR) != 0) fail("rmdir checked");
    if (::unlinkat(parent.get(), "plain", AT_REMOVEDIR) != 0) fail("rmdir plain");
    return result;
}

void printSystemCalls(const Options& options, const std::string& root) {
    const std::string strace = findStrace();
    if (strace.empty()) {
        std::printf("  system calls per file          n/a (strace not found)\n");
        return;
    }
    const CallsPerFile calls = countCalls(strace, root, options.probeDirs, options.files);
    std::printf("  system calls per file (strace -c on %d x %d files, start-up subtracted):\n", options.probeDirs,
                options.files);
    std::printf("      inspect        %6.2f   [%s]\n", calls.inspect, breakdown(calls.inspectBySyscall).c_str());
    std::printf("      removeChecked  %6.2f   [%s]\n", calls.remove, breakdown(calls.removeBySyscall).c_str());
    std::printf("      both           %6.2f\n", calls.inspect + calls.remove);
    std::printf("      rm -rf         %6.2f   [%s]\n", calls.rm, breakdown(calls.rmBySyscall).c_str());
}

void printResults(const Options& options, int batches, long files, const Inspection& inspection,
                  std::int64_t recordedBytes, Removal& removal) {
    std::printf("  inspect                        %8.3f s\n", inspection.time);
    std::printf("  removeChecked                  %8.3f s   (%lld bytes removed)\n", removal.ours,
                static_cast<long long>(recordedBytes));
    std::printf("  inspect + removeChecked        %8.3f s\n", inspection.time + removal.ours);
    std::printf("  rm -rf                         %8.3f s\n", removal.theirs);
    if (batches == 1) {
        std::printf("      (whole trees, %s first)\n", options.rmFirst ? "rm -rf" : "removeChecked");
    } else {
        std::vector<double>& ratios = removal.batchRatios;
        std::sort(ratios.begin(), ratios.end());
        std::printf("      (%d alternating batches of ~%ld files; per-batch ratio min %.2f, median %.2f, max %.2f)\n",
                    batches, files / batches, ratios.front(), ratios[ratios.size() / 2], ratios.back());
    }
    std::printf("  ratio removeChecked / rm -rf   %8.2f     (target: at most 2)\n", removal.ours / removal.theirs);
    std::printf("  ratio (inspect + removeChecked) / rm -rf  %5.2f\n",
                (inspection.time + removal.ours) / removal.theirs);
    std::printf("  Node tree memory               %8zu bytes = %.1f bytes per file   (target: under 150)\n",
                inspection.treeBytes, static_cast<double>(inspection.treeBytes) / static_cast<double>(files));
    std::printf("      (sizeof(Node) = %zu; node records in child arrays"
                " + names longer than the string's own storage)\n",
                sizeof(Node));
    std::printf("  heap growth across inspect     %8zu bytes = %.1f bytes per file"
                "   (mallinfo2, allocator overhead included)\n",
                inspection.heapGrowth, static_cast<double>(inspection.heapGrowth) / static_cast<double>(files));
    std::printf("  RSS before / after inspect     %8ld / %ld KiB\n", inspection.rssBefore, inspection.rssAfter);
}

int benchmark(const Options& options, const std::string& root) {
    const long files = static_cast<long>(options.dirs) * options.files;
    std::printf("fs_bench: %d directories x %d files = %ld files of 64 bytes, in %s\n", options.dirs, options.files,
                files, root.c_str());

    const auto start = Clock::now();
    buildTree(root, "checked", options.dirs, options.files);
    buildTree(root, "plain", options.dirs, options.files);
    ::sync();
    std::printf("  build both trees + sync        %8.3f s\n", seconds(start));

    const Descriptor parent = quillon::openDirectory(root);
    Inspection inspection = inspectChecked(parent, files);
    const std::int64_t recordedBytes = inspection.tree.bytes;

    // The disk of a shared machine is noisy, so by default the two removals
    // take turns in batches, each from a synced file system; with
    // --batches 1 each tree goes in one piece.
    const int batches = std::min(options.batches, options.dirs);
    Removal removal = batches == 1 ? removeWhole(parent, inspection.tree, root, options.rmFirst)
                                   : removeInBatches(parent, inspection.tree, root, batches, options.rmFirst);
    struct stat gone {};
    if (::lstat((root + "/checked").c_str(), &gone) == 0) throw std::runtime_error("checked tree still there");
    if (::lstat((root + "/plain").c_str(), &gone) == 0) throw std::runtime_error("plain tree still there");
    if (removal.removed != recordedBytes) throw std::runtime_error("removed bytes differ from the tree's bytes");
    inspection.tree = Node{};

    printResults(options, batches, files, inspection, recordedBytes, removal);
    if (options.strace) printSystemCalls(options, root);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("  peak RSS                       %8ld KiB   (VmHWM; getrusage ru_maxrss %ld KiB)\n",
                statusKiB("VmHWM"), usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--probe") {
        try {
            return probe(argv[2], argv[3], argv[4]);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "probe: %s\n", quillon::describe(error).c_str());
            return 1;
        }
    }
    std::string root;
    try {
        const Options options = parse(argc, argv);
        root = makeFixture();
        const int status = benchmark(options, root);
        removeFixture(root);
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fs_bench: %s\n", quillon::describe(error).c_str());
        removeFixture(root);
        return 1;
    }
}
