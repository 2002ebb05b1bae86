// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/Clean.h"

#include "catalog/Catalogue.h"
#include "catalog/RunLogFolder.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/RemoveChecked.h"
#include "guard/OpenFiles.h"
#include "guard/OpenPaths.h"
#include "guard/RunningTools.h"
#include "platform/Clock.h"
#include "platform/Descriptor.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "scan/Plan.h"

#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace quillon {

namespace {

const char* const emDash = " \u2014 ";

// The bases as the catalogue takes them: the five by their real paths, the
// program's log folder as given.
Bases realBases(const Bases& given) {
    Bases real = given;
    for (std::string* base : {&real.home, &real.temp, &real.cache, &real.sharedTemp, &real.config})
        *base = platform::realPath(*base);
    return real;
}

class Run {
public:
    Run(bool dryRun, const RunControl* control, const ProgressCallback& onProgress, const LogCallback& onLog)
        : dryRun_(dryRun), control_(control), onProgress_(onProgress), onLog_(onLog) {}

    Report go(const CleanPlaces& places) {
        clockShift_ = places.clockShift;
        guard_ = places.guard;
        open_.emplace(guard_.openFiles, guard_.clock);
        home_ = places.bases.home;
        report_.freeBefore = freeSpace(home_);
        if (control_ && control_->isCancelled()) {
            report_.cancelled = true;
            note(text::cancelledBeforeStart);
            return finish();
        }
        // The lock file keeps two runs from overlapping. Without a private
        // temporary directory there is no safe place for it, and no run.
        platform::Descriptor lock;
        if (!places.bases.temp.empty())
            lock = platform::Descriptor(::open((places.bases.temp + "/" + lockFileName).c_str(),
                                     O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!lock) {
            report_.skipped = 1;
            note(text::noCleanupLock);
            return finish();
        }
        struct flock region {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        region.l_start = 0;
        region.l_len = 0;
        if (::fcntl(lock.get(), F_SETLK, &region) != 0) {
            report_.skipped = 1;
            note(text::anotherCleanupRunning);
            return finish();
        }
        // The first picture of open paths is read while the catalogue is
        // built and the first location is planned.
        open_->prefetch(control_);

        // The open-file query names paths by their real path, so the
        // catalogue's paths must be spelled that way too, or no open file
        // would ever match an item ("/a//b" is "/a/b" to the kernel).
        std::vector<Candidate> locations;
        for (Candidate& candidate : candidates(realBases(places.bases)))
            if (platform::pathExists(candidate.path)) locations.push_back(std::move(candidate));
        const std::size_t count = locations.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (control_ && control_->isCancelled()) {
                report_.cancelled = true;
                note(text::cancelledBetweenLocations);
                break;
            }
            if (!location(locations[i], i, count)) break;
        }
        return finish(); // closing the lock descriptor releases the lock
    }

private:
    Report finish() {
        report_.freeAfter = freeSpace(home_);
        return report_;
    }

    void note(const std::string& line) {
        report_.notes.push_back(line);
        log(line);
    }
    void log(const std::string& line) const {
        if (onLog_) onLog_(line);
    }
    void progress(double fraction, const std::string& stage) const {
        if (onProgress_) onProgress_(fraction, stage);
    }

    // Cleans one location; returns false when the run must stop.
    bool location(const Candidate& candidate, std::size_t index, std::size_t count) {
        const std::string stage = stageText(candidate.group);
        progress(static_cast<double>(index) / static_cast<double>(count), stage);
        log(text::inspectingPrefix + candidate.path);
        report_.checked = static_cast<int>(index + 1);
        const std::int64_t removedBefore = report_.removed;
        ScanStats stats;
        bool stopping = false;
        try {
            checkRunning(candidate.group, text::toolRunning);
            // The open paths, when due, are read while the location is planned.
            open_->prefetch(control_);
            const std::vector<PlannedItem> items =
                plan(candidate, stats, control_, platform::wallClock() + clockShift_);
            removeItems(candidate, items, stats);
            if (items.empty() || stats.kept >= 1) ++report_.skipped;
        } catch (const CleanCancelled&) {
            report_.cancelled = true;
            note("Cancelled at " + candidate.path + ". No further files will be removed.");
            stopping = true;
        } catch (const std::exception& error) {
            ++report_.skipped;
            note(text::keptPrefix + candidate.path + emDash + describe(error));
        } catch (...) {
            ++report_.skipped;
            note(text::keptPrefix + candidate.path + emDash + describe(std::current_exception()));
        }
        report_.files += stats.files;
        if (report_.removed > removedBefore)
            note("Cleared " + size(report_.removed - removedBefore) + " from " + candidate.path);
        if (stopping) return false;
        progress(static_cast<double>(index + 1) / static_cast<double>(count), stage);
        return true;
    }

    // Reads the running set again if its turn has come; throws
    // SafetyError::skip(`reason`) when a tool of `group` runs.
    void checkRunning(Group group, const char* reason) {
        const Cadence::Clock::time_point start = guard_.clock();
        if (runningCadence_.due(start)) {
            running_ = guard_.running(control_);
            runningCadence_.read(start, guard_.clock());
        }
        if (!busyTools(group, running_)) return;
        report_.busyGroups.insert(group);
        throw SafetyError::skip(reason);
    }

    void removeItems(const Candidate& candidate, const std::vector<PlannedItem>& items, ScanStats& stats) {
        std::int64_t entries = 0;
        std::int64_t bytes = 0;
        for (const PlannedItem& item : items) {
            if (control_) control_->check();
            if (runningCadence_.due(guard_.clock())) checkRunning(candidate.group, text::toolStarted);
            open_->refresh(control_);
            if (item.node.bytes < 1) continue;
            const std::string path = item.parentPath + "/" + item.node.name;
            if (open_->holds(path)) {
                ++stats.kept;
                continue;
            }
            platform::Descriptor parent = openDirectory(item.parentPath);
            if (!dryRun_) {
                // Where the kernel has no answer for a file, the picture,
                // read again if its turn has come, decides.
                const HeldCheck held{guard_.lease, [&](const std::string& below) {
                                         open_->refresh(control_);
                                         return open_->holds(item.parentPath + "/" + below);
                                     }};
                if (!removeChecked(parent.get(), item.node, report_.removed, control_, held)) {
                    ++stats.kept;
                    continue;
                }
                ++report_.cleaned;
            }
            report_.eligible += item.node.bytes;
            bytes += item.node.bytes;
            ++entries;
        }
        note(std::string(dryRun_ ? "Preview" : "Checked") + ": " + candidate.path + emDash +
             std::to_string(stats.files) + " files inspected, " + std::to_string(entries) + " eligible entries (" +
             size(bytes) + "), " + std::to_string(stats.kept) + " recent or protected entries kept");
    }

    bool dryRun_;
    const RunControl* control_;
    const ProgressCallback& onProgress_;
    const LogCallback& onLog_;
    Report report_;
    double clockShift_ = 0;
    std::string home_; // whose volume's free space the report gives
    GuardQueries guard_;
    // One picture for the whole run: its age, not the location, decides
    // when it is read again. Made when the run's queries are known.
    std::optional<OpenPaths> open_;
    // The running set: read before the first location, and again, before a
    // location or an item, when the cadence says it is time.
    std::set<std::string> running_;
    Cadence runningCadence_;
};

} // namespace

std::string stageText(Group group) {
    const GroupInfo& info = about(group);
    if (info.stage != nullptr) return info.stage;
    return "Checking " + std::string(info.name) + " caches\u2026";
}

CleanPlaces currentPlaces() {
    return CleanPlaces{{platform::homeDirectory(), platform::userTempDirectory(), platform::userCacheDirectory(),
                        platform::sharedTempDirectory(), platform::userConfigDirectory(), runLogFolder()}};
}

Report clean(bool dryRun, const CleanPlaces& places, const RunControl* control, const ProgressCallback& onProgress,
             const LogCallback& onLog) {
    return Run(dryRun, control, onProgress, onLog).go(places);
}

Report clean(bool dryRun, const RunControl* control, const ProgressCallback& onProgress, const LogCallback& onLog) {
    return clean(dryRun, currentPlaces(), control, onProgress, onLog);
}

} // namespace quillon
