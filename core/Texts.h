// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The program's fixed user-visible sentences, each written once, so that the
// code that shows them and the tests that look for them name the same
// constant ("…" is U+2026, "—" U+2014). Texts put together from parts around
// a path or a size stay with the code that builds them; the window-only
// preview's texts and the usage line are named beside the code that shows
// them (app/ProgressAnimation.h, app/Entry.h).

namespace quillon::text {

// ---- Reasons of SafetyError::skip ----
// A reason is what the user reads in a "Kept: " note, so the texts never
// change with the code that throws them.

// Walking a path one component at a time.
inline constexpr const char* invalidPath = "Invalid path";
inline constexpr const char* cannotOpenRoot = "Cannot open root";
// Followed by the component's name, ": " and the system's description.
inline constexpr const char* cannotOpenComponent = "Cannot open directory component ";
inline constexpr const char* cannotReadDirectory = "Cannot read directory";

// Inspecting an item into a tree record.
inline constexpr const char* cannotInspectItem = "Cannot inspect item";
inline constexpr const char* ineligibleItem = "Linked, shared, special or differently owned item";
inline constexpr const char* recentlyChanged = "Recently changed; kept";
inline constexpr const char* cannotOpenItem = "Cannot open item";
inline constexpr const char* itemChangedDuringCheck = "Item changed during check";

// Removing an inspected item.
inline constexpr const char* itemChangedDuringCleanup = "Item changed during cleanup; stopped";
inline constexpr const char* directoryChanged = "Directory changed; stopped";
inline constexpr const char* cannotRemoveFile = "Could not remove file";
inline constexpr const char* cannotRemoveDirectory = "Could not remove directory";

// Temporary build folders and their metadata.
inline constexpr const char* buildNotOwned = "Temporary build directory is not owned by this user";
inline constexpr const char* unrecognizedBuildContents = "Unrecognized temporary build contents; kept";
inline constexpr const char* buildMetadataNotPrivate = "Temporary build metadata is not a private regular file";
inline constexpr const char* cannotReadBuildMetadata = "Cannot read temporary build metadata";
inline constexpr const char* missingWorkspace = "Missing Xcode workspace metadata; kept";

// Planning a location.
inline constexpr const char* rootNotPrivate = "Root is not a private, regular directory";
inline constexpr const char* cannotOpenCacheRoot = "Cannot open cache root";
inline constexpr const char* rootChanged = "Root changed during check";
inline constexpr const char* invalidPattern = "Invalid name pattern";

// The activity guard.
inline constexpr const char* cannotVerifyOpenFiles = "Cannot verify open files; kept everything";
inline constexpr const char* cannotCheckRunningApps = "Cannot check running apps";
inline constexpr const char* toolRunning = "Relevant app or build tool is running";
inline constexpr const char* toolStarted = "A build or app started; stopped this location";

// ---- Other sentences ----

// The application's and the window's title, and the run log's first line.
inline constexpr const char* programName = "Quillon";

// Notes of a clean run, written to the report and the log.
// A run cancelled before it took the lock.
inline constexpr const char* cancelledBeforeStart = "Cancelled before cleanup started.";
// A run with no private temporary folder for its lock file.
inline constexpr const char* noCleanupLock = "Cannot obtain cleanup lock; nothing removed";
// A run that found the lock held by another process.
inline constexpr const char* anotherCleanupRunning = "Another cleanup is running; nothing removed";
// A run cancelled between two locations.
inline constexpr const char* cancelledBetweenLocations = "Cancelled. No further files will be removed.";
// Begins the note of a location kept whole; its path and the reason follow.
inline constexpr const char* keptPrefix = "Kept: ";
// Begins the log line written as a location's inspection starts; its path follows.
inline constexpr const char* inspectingPrefix = "Inspecting: ";

// The progress stages of the groups that share one.
inline constexpr const char* buildCachesStage = "Checking build caches\u2026";
// The JavaScript, Python and package-download groups.
inline constexpr const char* developmentCachesStage = "Checking development caches\u2026";
inline constexpr const char* olderLogsStage = "Checking older logs\u2026";

// The summary's first line when nothing was removed.
inline constexpr const char* nothingCleared = "No disposable files could be cleared right now.";

// The run log's third line: a real run, or the window-only preview.
inline constexpr const char* cleanupStarted = "Cleanup started.";
inline constexpr const char* uiPreviewOnly = "UI PREVIEW ONLY \u2014 no caches will be changed.";
// Logged when the window's Cancel is pressed during a run.
inline constexpr const char* cancellationRequested = "Cancellation requested. Stopping before the next file operation.";

// The window: the icon's accessible name, the first status and the buttons.
inline constexpr const char* iconName = "Quillon app icon";
inline constexpr const char* preparing = "Preparing\u2026";
inline constexpr const char* cancelButton = "Cancel";
// The Cancel button once the run has ended.
inline constexpr const char* doneButton = "Done";
inline constexpr const char* showLogsButton = "Show Logs";
// The status while a cancelled run winds down.
inline constexpr const char* cancelling = "Cancelling\u2026";
// The final status of a cancelled run that removed nothing.
inline constexpr const char* cancelledNothingRemoved = "Cancelled\nNo further files will be removed.";
// The final status's first line when nothing was removed.
inline constexpr const char* nothingToClean = "Nothing to clean right now";
// Replaces the free-space line when Show Logs finds no app for the log.
inline constexpr const char* noLogViewer = "No app is set up to open the log";

// The self-test's output when every check passed, with its line feed.
inline constexpr const char* selfTestPassed =
    "PASS: verified temporary build caches are discovered and removable; recent caches, source backups, products, "
    "archives, package checkouts, open files, links and changed items remain protected; cancellation stops scans and "
    "subsequent deletions.\n";
// Begins the self-test's failure on standard error; the failure's description follows.
inline constexpr const char* selfTestFailed = "Safety test failed: ";
// The self-test's failure when an operation that must refuse did not.
inline constexpr const char* expectedSkip = "Expected a safe skip";

} // namespace quillon::text
