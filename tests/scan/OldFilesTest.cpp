// oldFiles plans the old regular files of a folder, depth first in sorted
// order, and counts the files it looked at and every entry it left alone.

#include "tests/fs/FsFixture.h"

#include "core/Texts.h"
#include "scan/OldFiles.h"

namespace quillon::fstest {
namespace {

// Returns the planned paths relative to `base`, space-separated.
std::string plannedText(const std::vector<PlannedItem>& items, const std::string& base) {
    std::string text;
    for (const PlannedItem& item : items)
        text += (text.empty() ? "" : " ") + (item.parentPath + "/" + item.node.name).substr(base.size() + 1);
    return text;
}

struct Row {
    std::string shape;
    std::optional<std::string> pattern;
    bool recursive;
    LookUpHook hook;
    dev_t deviceShift;
    const char* planned;
    std::int64_t files, kept;
};

TEST(OldFiles, PlansOldFilesAndCountsWhatItLeaves) {
    const std::string fffd = "\xEF\xBF\xBD"; // U+FFFD, which names() also gives for bytes that are not UTF-8
    const std::string tree = "c.log a.log b/ b/deeper/ b/deeper/x.log b/m.log";
    const Row rows[] = {
        {tree, {}, true, {}, 0, "a.log b/deeper/x.log b/m.log c.log", 4, 0},
        {tree, {}, false, {}, 0, "a.log c.log", 2, 0},
        {tree, {}, true, {}, 1, "", 0, 3},
        {"empty/", {}, true, {}, 0, "", 0, 0},
        {"important.txt old.log", "\\.log$", true, {}, 0, "old.log", 2, 1},
        {"new.log! old.log", "\\.log$", true, {}, 0, "old.log", 2, 1},
        {"s/ s/x.txt l.log->s/x.txt dl->s p.log|", "\\.log$", true, {}, 0, "", 1, 4},
        {"a h=>a", {}, true, {}, 0, "", 2, 2},
        {"\xFF/ \xFF/a.log " + fffd + "/ " + fffd + "/a.log c.log", {}, true, {}, 0, "c.log", 1, 2},
        {"f.log g.log", {}, true, ownedByAnother("f.log"), 0, "g.log", 1, 1},
        {"s/ s/in.log top.log", {}, true, replaceAfterFirstLookUpOf("s", true), 0, "top.log", 1, 1},
        {"s/ s/in.log top.log", {}, true, replaceAfterFirstLookUpOf("s", false), 0, "top.log", 1, 1},
    };
    for (const Row& row : rows) {
        const Place p(row.shape);
        const ScopedLookUpHook hook(row.hook);
        ScanStats stats;
        std::string planned;
        const std::string error = outcome([&] {
            planned = plannedText(oldFiles(p.fd.get(), p.path, futureCutoff(), p.device + row.deviceShift, row.pattern,
                                           stats, nullptr, row.recursive),
                                  p.path);
        });
        EXPECT_EQ(error + ": " + planned, std::string("no error: ") + row.planned) << row.shape;
        EXPECT_EQ(stats.files, row.files) << row.shape;
        EXPECT_EQ(stats.kept, row.kept) << row.shape;
    }
    const Place p("a.log");
    ScanStats stats;
    EXPECT_EQ(outcome([&] { oldFiles(p.fd.get(), p.path, futureCutoff(), p.device, "(unclosed", stats); }),
              text::invalidPattern);
}

} // namespace
} // namespace quillon::fstest
