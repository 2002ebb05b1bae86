// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "scan/Plan.h"

#include "catalog/TemporaryBuild.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "platform/Descriptor.h"
#include "platform/FileStatus.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "scan/OldFiles.h"

#include <unistd.h>

namespace quillon {

namespace {

std::vector<PlannedItem> planChildren(int root, const Candidate& candidate, double cutoff, dev_t device,
                                      ScanStats& stats, const RunControl* control) {
    std::vector<PlannedItem> items;
    for (const std::string& name : names(root, control)) {
        if (control) control->check();
        try {
            Node node = inspect(root, name, cutoff, device, control);
            stats.files += fileCount(node);
            items.push_back(PlannedItem{candidate.path, std::move(node)});
        } catch (const CleanCancelled&) {
            throw;
        } catch (const std::exception&) {
            ++stats.kept;
        }
    }
    return items;
}

} // namespace

std::vector<PlannedItem> plan(const Candidate& candidate, ScanStats& stats, const RunControl* control) {
    return plan(candidate, stats, control, platform::wallClock());
}

std::vector<PlannedItem> plan(const Candidate& candidate, ScanStats& stats, const RunControl* control, double now) {
    if (control) control->check();
    if (candidate.temporaryBuildRoot) validateTemporaryBuildRoot(*candidate.temporaryBuildRoot);

    const std::string parentPath = platform::parentFolder(candidate.path);
    const std::string leaf = platform::baseName(candidate.path);
    platform::Descriptor parent = openDirectory(parentPath);

    platform::FileStatus parentStatus, rootStatus;
    if (!isEntryName(leaf) || !platform::statDescriptor(parent.get(), parentStatus) || !platform::statAt(parent.get(), leaf, rootStatus) ||
        rootStatus.owner != ::getuid() || rootStatus.device != parentStatus.device || rootStatus.type() != S_IFDIR)
        throw SafetyError::skip(text::rootNotPrivate);
    const dev_t device = rootStatus.device;
    const double cutoff = now - candidate.age;

    if (candidate.mode == ScanMode::whole) {
        Node tree = inspect(parent.get(), leaf, cutoff, device, control);
        stats.files += fileCount(tree);
        std::vector<PlannedItem> items;
        items.push_back(PlannedItem{parentPath, std::move(tree)});
        return items;
    }

    const platform::Descriptor root =
        openVerifiedOrSkip(parent.get(), leaf, rootStatus, text::cannotOpenCacheRoot, text::rootChanged);

    switch (candidate.mode) {
    case ScanMode::oldFiles:
    case ScanMode::oldTopFiles:
        return oldFiles(root.get(), candidate.path, cutoff, device, candidate.pattern, stats, control,
                        candidate.mode == ScanMode::oldFiles);
    case ScanMode::oldChildren:
    case ScanMode::whole:
        break;
    }
    return planChildren(root.get(), candidate, cutoff, device, stats, control);
}

} // namespace quillon
