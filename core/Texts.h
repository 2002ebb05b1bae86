#pragma once

// The program's fixed user-visible sentences that more than one place needs:
// the code that shows them and the tests that look for them. Each is written
// once here ("…" is U+2026, "—" U+2014); texts put together from parts
// around a path or a size stay with the code that builds them. The window-only
// preview's texts and the usage line are named beside the code that shows
// them (app/ProgressAnimation.h, app/Entry.h).

namespace quillon::text {

// The program's name: the application and window title, the run log's first line.
inline constexpr const char* programName = "Quillon";

// Notes of a clean run.
inline constexpr const char* cancelledBeforeStart = "Cancelled before cleanup started.";
inline constexpr const char* noCleanupLock = "Cannot obtain cleanup lock; nothing removed";
inline constexpr const char* anotherCleanupRunning = "Another cleanup is running; nothing removed";
inline constexpr const char* cancelledBetweenLocations = "Cancelled. No further files will be removed.";
// The beginnings of a location's note when it was kept, and of the log line
// written as its inspection starts; the location's path follows.
inline constexpr const char* keptPrefix = "Kept: ";
inline constexpr const char* inspectingPrefix = "Inspecting: ";

// Progress stages of the groups that share one.
inline constexpr const char* buildCachesStage = "Checking build caches\u2026";
inline constexpr const char* developmentCachesStage = "Checking development caches\u2026";
inline constexpr const char* olderLogsStage = "Checking older logs\u2026";

// The summary's first line when nothing was removed.
inline constexpr const char* nothingCleared = "No disposable files could be cleared right now.";

// Lines of the run log.
inline constexpr const char* cleanupStarted = "Cleanup started.";
inline constexpr const char* uiPreviewOnly = "UI PREVIEW ONLY \u2014 no caches will be changed.";
inline constexpr const char* cancellationRequested = "Cancellation requested. Stopping before the next file operation.";

// The window.
inline constexpr const char* iconName = "Quillon app icon";
inline constexpr const char* preparing = "Preparing\u2026";
inline constexpr const char* cancelButton = "Cancel";
inline constexpr const char* doneButton = "Done";
inline constexpr const char* showLogsButton = "Show Logs";
inline constexpr const char* cancelling = "Cancelling\u2026";
inline constexpr const char* cancelledNothingRemoved = "Cancelled\nNo further files will be removed.";
inline constexpr const char* nothingToClean = "Nothing to clean right now";
inline constexpr const char* noLogViewer = "No app is set up to open the log";

// The command line.
inline constexpr const char* selfTestPassed =
    "PASS: verified temporary build caches are discovered and removable; recent caches, source backups, products, "
    "archives, package checkouts, open files, links and changed items remain protected; cancellation stops scans and "
    "subsequent deletions.\n";
// Followed by the description of the self-test's failure.
inline constexpr const char* selfTestFailed = "Safety test failed: ";
// The self-test's failure when an operation that must refuse did not.
inline constexpr const char* expectedSkip = "Expected a safe skip";

} // namespace quillon::text
