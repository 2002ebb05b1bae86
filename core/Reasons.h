#pragma once

// The fixed reasons of SafetyError::skip, each written once. A reason is what
// the user reads in a "Kept: " note, so the texts never change with the code
// that throws them; tests name the constant instead of typing the sentence.

namespace quillon::reason {

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

} // namespace quillon::reason
