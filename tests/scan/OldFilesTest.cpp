// oldFiles plans the old regular files of a folder, depth first in sorted
// order, and counts the files it looked at and every entry it left alone.

#include "tests/fs/FsFixture.h"

#include "scan/OldFiles.h"

namespace quillon::fstest {
namespace {

struct Row {
    std::string shape;
    std::optional<std::string> pattern;
    bool recursive;
    LookUpHook hook;
    dev_t deviceShift; // added to the device the files must be on
    const char* expected; // the planned paths, then (files, kept); or the refusal
};

TEST(OldFiles, PlansOldFilesAndCountsWhatItLeaves) {
    const std::string fffd = "\xEF\xBF\xBD"; // U+FFFD, which names() also gives for bytes that are not UTF-8
    const std::string tree = "c.log a.log b/ b/deeper/ b/deeper/x.log b/m.log";
    const Row rows[] = {
        {tree, {}, true, {}, 0, "a.log b/deeper/x.log b/m.log c.log (4, 0)"},
        {tree, {}, false, {}, 0, "a.log c.log (2, 0)"},
        {tree, {}, true, {}, 1, "(0, 3)"},
        {"important.txt old.log", "\\.log$", true, {}, 0, "old.log (2, 1)"},
        {"new.log! old.log", "\\.log$", true, {}, 0, "old.log (2, 1)"},
        {"a.log", "(unclosed", true, {}, 0, text::invalidPattern},
        {"s/ s/x.txt l.log->s/x.txt dl->s p.log|", "\\.log$", true, {}, 0, "(1, 4)"},
        {"a h=>a", {}, true, {}, 0, "(2, 2)"},
        {"\xFF/ \xFF/a.log " + fffd + "/ " + fffd + "/a.log c.log", {}, true, {}, 0, "c.log (1, 2)"},
        {"f.log g.log", {}, true, ownedByAnother("f.log"), 0, "g.log (1, 1)"},
        {"s/ s/in.log top.log", {}, true, replaceOnLookUpOf("s", true), 0, "top.log (1, 1)"},
        {"s/ s/in.log top.log", {}, true, replaceOnLookUpOf("s", false), 0, "top.log (1, 1)"},
    };
    for (const Row& row : rows) {
        const Place p(row.shape);
        const ScopedLookUpHook hook(row.hook);
        ScanStats stats;
        std::string planned;
        const std::string error = outcome([&] {
            const dev_t device = p.device + row.deviceShift;
            for (const PlannedItem& item : oldFiles(p.fd.get(), p.path, futureCutoff(), device, row.pattern, stats,
                                                    nullptr, row.recursive))
                planned += (item.parentPath + "/" + item.node.name).substr(p.path.size() + 1) + " ";
        });
        const std::string counts = "(" + std::to_string(stats.files) + ", " + std::to_string(stats.kept) + ")";
        EXPECT_EQ(error == "no error" ? planned + counts : error, row.expected) << row.shape;
    }
}

} // namespace
} // namespace quillon::fstest
