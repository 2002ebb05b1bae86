// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// openDirectory walks from "/" one component at a time and never follows a link; names lists a folder whole, sorted,
// without "." and "..". (The inspection's tests cover openVerified.)

#include "tests/fs/FsFixture.h"

namespace quillon::fstest {
namespace {

// Returns the path of the folder `fd` is open on, as the kernel names it.
std::string openedPath(int fd) { return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)); }

TEST(OpenDirectory, OpensOnlyRealDirectoriesComponentByComponent) {
    const Place p("a/b/ .../ f real/inner/ link->real");
    const std::string b = p.path;
    // A row expects a refusal text, or (starting with "/") the directory opened.
    const std::string invalid = text::invalidPath;
    const std::pair<std::string, std::string> rows[] = {
        {b + "/a/b", b + "/a/b"}, {"/" + b + "//a//b/", b + "/a/b"}, {"/", "/"}, {b + "/...", b + "/..."},
        {"", invalid}, {"relative/a", invalid}, {b + "/a/../a", invalid}, {b + "/./a", invalid},
        {b + "/link", cannotOpen("link", ENOTDIR)}, {b + "/link/inner", cannotOpen("link", ENOTDIR)},
        {b + "/f/x", cannotOpen("f", ENOTDIR)}, {b + "/gone/../a", cannotOpen("gone", ENOENT)},
    };
    for (const auto& [path, expected] : rows) {
        std::string opened;
        const std::string refusal = outcome([&] { opened = openedPath(openDirectory(path).get()); });
        EXPECT_EQ(refusal == "no error" ? opened : refusal, expected) << "path '" << path << "'";
    }
}

TEST(Names, ListsWholeSortedAfterCompositionWithNamesAsOnDiskOrRefuses) {
    // a + U+0308 sorts as U+00E4, after "z", but comes back with its own bytes; U+1F600 sorts after U+FF5E (by scalar
    // value, not UTF-16); bytes that are not UTF-8 come back as U+FFFD.
    const Place p("z a\xCC\x88 \xEF\xBD\x9E \xF0\x9F\x98\x80 b .hidden ..x ab\xC3z \xFF C/");
    const std::vector<std::string> expected = {"..x", ".hidden", "C", "ab\xEF\xBF\xBDz", "b", "z", "a\xCC\x88",
                                               "\xEF\xBD\x9E", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80"};
    EXPECT_EQ(names(p.fd.get()), expected);
    // The caller's descriptor stays open, and its shared position is rewound.
    EXPECT_EQ(names(p.fd.get()), expected);
    for (int i = 0; i < 3000; ++i) t::writeFile(p / std::to_string(100000 + i), "");
    EXPECT_EQ(names(p.fd.get()).size(), 3000 + expected.size());
    // What cannot be listed is refused, and a cancel is honoured.
    const platform::Descriptor file(::open((p / "z").c_str(), O_RDONLY | O_CLOEXEC));
    RunControl cancelled;
    cancelled.cancel();
    for (const int fd : {-1, file.get()}) EXPECT_EQ(outcome([&] { names(fd); }), text::cannotReadDirectory) << fd;
    EXPECT_NE(::fcntl(file.get(), F_GETFD), -1) << "the caller's descriptor was closed";
    EXPECT_EQ(outcome([&] { names(-1, &cancelled); }), "cancelled"); // checked before anything is opened
}

} // namespace
} // namespace quillon::fstest
