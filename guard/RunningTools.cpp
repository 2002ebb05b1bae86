// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/RunningTools.h"

#include "core/Texts.h"
#include "guard/ProcessTableQuery.h"
#include "platform/Text.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

// What makes one group busy: a running name equal to one of `names` or
// starting with one of `prefixes`, unless it is one of `ignored`.
struct GroupRule {
    std::string_view group;
    std::vector<std::string_view> names;
    std::vector<std::string_view> prefixes;
    std::vector<std::string_view> ignored;
};

// Exact names only: a tool whose name merely begins like a compiler's
// ("codex" against "codesign") must not hold back the build caches. The GNU
// and LLVM drivers run back ends and linkers under names of their own.
const std::vector<std::string_view> developmentTools = {
    "xcode",           "xcodebuild",        "swift",                 "swiftc",          "swift-frontend",
    "clang",           "clang++",           "cc",                    "c++",             "gcc",
    "g++",             "metal",             "metallib",              "ld",              "actool",
    "ibtool",          "ipatool",           "simulator",             "codesign",        "xcbuild",
    "swift-build",     "swift-package",     "sourcekit-lsp",         "sourcekitservice", "xcbbuildservice",
    "xcodebuildservice", "fennowsdevicelauncher",
    "cc1",             "cc1plus",           "collect2",              "ld.bfd",          "ld.gold",
    "ld.lld",          "lld",               "make",                  "ninja",           "cmake",
    "go",              "cargo",             "rustc",                 "ccache",
};

// Helpers of an application carry its name at the front of their own
// ("google chrome helper"), so most groups are a prefix test; on Linux a
// browser's processes all run its one executable ("chromium", "msedge").
const GroupRule rules[] = {
    {"Development", developmentTools, {}, {}},
    {"VLC", {"vlc"}, {}, {}},
    {"Python", {"uv", "uvx", "poetry"}, {"python"}, {}},
    {"JavaScript", {"node", "bun", "deno", "corepack"}, {"npm", "pnpm", "yarn"}, {}},
    {"Package downloads", {"ruby", "curl", "wget", "make"}, {"brew"}, {}},
    {"Logs", {}, {}, {}},
    // Every GL or CUDA program shares these caches; the open-file guard
    // keeps what one of them holds.
    {"GPU", {}, {}, {}},
    // Any program may make thumbnails; one being written is held open.
    {"Thumbnail", {}, {}, {}},
    // Every program of the session reads the font and QML caches; only old
    // files of them go, and the open-file guard keeps what one holds.
    {"Desktop", {}, {}, {}},
    {"VS Code", {"code", "code-insiders", "codium", "code-oss"}, {"code helper", "visual studio code"}, {}},
    // The agent stays resident after Figma quits; it does not use the caches.
    {"Figma", {}, {"figma"}, {"figma_agent"}},
    {"Chrome", {"chrome"}, {"google chrome"}, {}},
    // Chromium's snap and Flatpak builds name their executable "chrome".
    {"Chromium", {"chromium", "chromium-browser", "chrome"}, {}, {}},
    {"Firefox", {"firefox", "firefox-esr", "firefox-bin"}, {}, {}},
    {"Edge", {"msedge"}, {"microsoft edge"}, {}},
    {"Brave", {"brave", "brave-browser"}, {"brave browser"}, {}},
    {"Codex", {}, {"codex", "chatgpt"}, {}},
    {"Atlas", {}, {"atlas", "chatgpt atlas"}, {}},
    {"Claude", {}, {"claude"}, {}},
    {"Spotify", {}, {"spotify"}, {}},
    {"Vivaldi", {"vivaldi", "vivaldi-bin"}, {}, {}},
    {"Opera", {"opera"}, {}, {}},
    {"Thunderbird", {"thunderbird", "thunderbird-bin"}, {}, {}},
    {"LibreWolf", {"librewolf", "librewolf-bin"}, {}, {}},
    {"Cursor", {"cursor"}, {}, {}},
    {"Slack", {"slack"}, {}, {}},
    {"Discord", {"discord"}, {}, {}},
    {"Teams for Linux", {"teams-for-linux"}, {}, {}},
    {"Signal", {"signal-desktop"}, {}, {}},
    {"Obsidian", {"obsidian"}, {}, {}},
    {"Element", {"element-desktop"}, {}, {}},
    // The store and every game's overlay run as helpers of the client.
    {"Steam", {"steam", "steamwebhelper"}, {}, {}},
    // The IDEs' launchers, and the Java runtime that older launchers start.
    {"JetBrains", {"java"}, {"idea", "pycharm", "clion", "goland", "webstorm", "phpstorm", "rubymine", "rider",
                             "datagrip", "rustrover", "dataspell", "aqua", "jetbrains"}, {}},
    // Gradle's daemon is a Java program.
    {"Gradle", {"gradle", "java"}, {}, {}},
    {"Framer", {}, {"framer"}, {}},
    {"Safari", {}, {"safari", "com.apple.safari", "com.apple.webkit"}, {}},
    {"Preview", {}, {"preview", "com.apple.preview"}, {}},
    {"Blender", {}, {"blender"}, {}},
    {"Nucleo", {}, {"nucleo", "co.ambercreative.nucleo"}, {}},
    {"Unity Hub", {}, {"unity", "unity hub"}, {}},
};

bool contains(const std::vector<std::string_view>& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool startsWithAny(const std::vector<std::string_view>& prefixes, std::string_view name) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; });
}

bool protects(const GroupRule& rule, std::string_view name) {
    if (contains(rule.ignored, name)) return false;
    return contains(rule.names, name) || startsWithAny(rule.prefixes, name);
}

} // namespace

std::set<std::string> runningCommands(const RunControl* control) {
    return runningCommandsIn(platform::processTableRoot, control);
}

std::set<std::string> runningCommandsIn(const std::string& processTable, const RunControl* control) {
    const std::vector<std::string> names = readProcessTable(
        control, text::cannotCheckRunningApps, [&] { return platform::executableNames(processTable); });
    std::set<std::string> running;
    for (const std::string& name : names)
        if (!name.empty()) running.insert(platform::lowercase(name));
    return running;
}

bool busyTools(const std::string& group, const std::set<std::string>& running) {
    for (const GroupRule& rule : rules) {
        if (rule.group != group) continue;
        return std::any_of(running.begin(), running.end(), [&](const std::string& name) { return protects(rule, name); });
    }
    // A group nobody wrote a rule for cannot be shown idle, so it is left alone.
    return true;
}

} // namespace quillon
