// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// oldFiles plans the old regular files of a folder, depth first in sorted order, and counts the files it looked at and
// every entry it left alone.

#include "tests/fs/FsFixture.h"

#include "scan/OldFiles.h"

namespace quillon::fstest {
namespace {

TEST(OldFiles, PlansOldFilesAndCountsWhatItLeaves) {
    const std::string tree = "c.log a.log b/ b/deeper/ b/deeper/x.log b/m.log";
    // Each row: a shape, a pattern, whether to enter folders, a look-up hook, a shift of the device the files must be
    // on, and the planned paths then (files, kept), or the refusal.
    const std::tuple<std::string, std::optional<std::string>, bool, LookUpHook, dev_t, const char*> rows[] = {
        {tree, {}, true, {}, 0, "a.log b/deeper/x.log b/m.log c.log (4, 0)"}, {tree, {}, true, {}, 1, "(0, 3)"},
        {tree, {}, false, {}, 0, "a.log c.log (2, 0)"}, {"a.log", "(unclosed", true, {}, 0, text::invalidPattern},
        {"important.txt old.log", "\\.log$", true, {}, 0, "old.log (2, 1)"},
        {"new.log! old.log", "\\.log$", true, {}, 0, "old.log (2, 1)"}, {"a h=>a", {}, true, {}, 0, "(2, 2)"},
        {"s/ s/x.txt l.log->s/x.txt dl->s p.log|", "\\.log$", true, {}, 0, "(1, 4)"},
        {"\xFF/ \xFF/a.log " + fffd + "/ " + fffd + "/a.log c.log", {}, true, {}, 0, "c.log (1, 2)"},
        {"f.log g.log", {}, true, ownedByAnother("f.log"), 0, "g.log (1, 1)"},
        {"s/ s/in.log top.log", {}, true, replaceOnLookUpOf("s", true), 0, "top.log (1, 1)"},
        {"s/ s/in.log top.log", {}, true, replaceOnLookUpOf("s", false), 0, "top.log (1, 1)"},
    };
    for (const auto& [shape, pattern, recursive, hook, shift, expected] : rows) {
        const Place p(shape);
        const ScopedLookUpHook scoped(hook);
        ScanStats stats;
        EXPECT_EQ(listed(p.path, stats, [&] { return oldFiles(p.fd.get(), p.path, futureCutoff(), p.device + shift,
                       pattern, stats, nullptr, recursive); }), expected) << shape;
    }
}

} // namespace
} // namespace quillon::fstest
