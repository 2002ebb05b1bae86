// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "core/Group.h"

#include "core/Texts.h"

#include <cstddef>

namespace quillon {

namespace {

// Exact names only: a tool whose name merely begins like a compiler's
// ("codex" against "codesign") must not hold back the build caches. The GNU
// and LLVM drivers run back ends and linkers under names of their own.
constexpr std::string_view developmentTools =
    "xcode|xcodebuild|swift|swiftc|swift-frontend|clang|clang++|cc|c++|gcc|g++|metal|metallib|ld|actool|ibtool|"
    "ipatool|simulator|codesign|xcbuild|swift-build|swift-package|sourcekit-lsp|sourcekitservice|xcbbuildservice|"
    "xcodebuildservice|fennowsdevicelauncher|"
    "cc1|cc1plus|collect2|ld.bfd|ld.gold|ld.lld|lld|make|ninja|cmake|go|cargo|rustc|ccache";

// The groups of developer tools and logs are worth guarding, not worth
// naming. Helpers of an application carry its name at the front of their own
// ("google chrome helper"), so most groups are a prefix test; on Linux a
// browser's processes all run its one executable ("chromium", "msedge").
constexpr GroupInfo table[] = {
    {Group::development, "Development", text::buildCachesStage, false, developmentTools, "", ""},
    {Group::vlc, "VLC", nullptr, true, "vlc", "", ""},
    {Group::python, "Python", text::developmentCachesStage, false, "uv|uvx|poetry", "python", ""},
    {Group::javaScript, "JavaScript", text::developmentCachesStage, false, "node|bun|deno|corepack", "npm|pnpm|yarn",
     ""},
    {Group::packageDownloads, "Package downloads", text::developmentCachesStage, false, "ruby|curl|wget|make", "brew",
     ""},
    {Group::logs, "Logs", text::olderLogsStage, false, "", "", ""},
    // Every GL or CUDA program shares these caches; the open-file guard
    // keeps what one of them holds.
    {Group::gpu, "GPU", nullptr, true, "", "", ""},
    // Any program may make thumbnails; one being written is held open.
    {Group::thumbnail, "Thumbnail", nullptr, true, "", "", ""},
    // Every program of the session reads the font and QML caches; only old
    // files of them go, and the open-file guard keeps what one holds.
    {Group::desktop, "Desktop", nullptr, true, "", "", ""},
    {Group::vsCode, "VS Code", nullptr, true, "code|code-insiders|codium|code-oss", "code helper|visual studio code",
     ""},
    // The agent stays resident after Figma quits; it does not use the caches.
    {Group::figma, "Figma", nullptr, true, "", "figma", "figma_agent"},
    {Group::chrome, "Chrome", nullptr, true, "chrome", "google chrome", ""},
    // Chromium's snap and Flatpak builds name their executable "chrome".
    {Group::chromium, "Chromium", nullptr, true, "chromium|chromium-browser|chrome", "", ""},
    {Group::firefox, "Firefox", nullptr, true, "firefox|firefox-esr|firefox-bin", "", ""},
    {Group::edge, "Edge", nullptr, true, "msedge", "microsoft edge", ""},
    {Group::brave, "Brave", nullptr, true, "brave|brave-browser", "brave browser", ""},
    {Group::codex, "Codex", nullptr, true, "", "codex|chatgpt", ""},
    {Group::atlas, "Atlas", nullptr, true, "", "atlas|chatgpt atlas", ""},
    {Group::claude, "Claude", nullptr, true, "", "claude", ""},
    {Group::spotify, "Spotify", nullptr, true, "", "spotify", ""},
    {Group::vivaldi, "Vivaldi", nullptr, true, "vivaldi|vivaldi-bin", "", ""},
    {Group::opera, "Opera", nullptr, true, "opera", "", ""},
    {Group::thunderbird, "Thunderbird", nullptr, true, "thunderbird|thunderbird-bin", "", ""},
    {Group::libreWolf, "LibreWolf", nullptr, true, "librewolf|librewolf-bin", "", ""},
    {Group::cursor, "Cursor", nullptr, true, "cursor", "", ""},
    {Group::slack, "Slack", nullptr, true, "slack", "", ""},
    {Group::discord, "Discord", nullptr, true, "discord", "", ""},
    {Group::teamsForLinux, "Teams for Linux", nullptr, true, "teams-for-linux", "", ""},
    {Group::signal, "Signal", nullptr, true, "signal-desktop", "", ""},
    {Group::obsidian, "Obsidian", nullptr, true, "obsidian", "", ""},
    {Group::element, "Element", nullptr, true, "element-desktop", "", ""},
    // The store and every game's overlay run as helpers of the client.
    {Group::steam, "Steam", nullptr, true, "steam|steamwebhelper", "", ""},
    // The IDEs' launchers, and the Java runtime that older launchers start.
    {Group::jetBrains, "JetBrains", nullptr, true, "java",
     "idea|pycharm|clion|goland|webstorm|phpstorm|rubymine|rider|datagrip|rustrover|dataspell|aqua|jetbrains", ""},
    // Gradle's daemon is a Java program.
    {Group::gradle, "Gradle", nullptr, true, "gradle|java", "", ""},
    {Group::framer, "Framer", nullptr, true, "", "framer", ""},
    {Group::safari, "Safari", nullptr, true, "", "safari|com.apple.safari|com.apple.webkit", ""},
    {Group::preview, "Preview", nullptr, true, "", "preview|com.apple.preview", ""},
    {Group::blender, "Blender", nullptr, true, "", "blender", ""},
    {Group::nucleo, "Nucleo", nullptr, true, "", "nucleo|co.ambercreative.nucleo", ""},
    {Group::unityHub, "Unity Hub", nullptr, true, "", "unity|unity hub", ""},
};

// Every group has its one row, at the place of its value.
constexpr bool inOrder() {
    for (std::size_t i = 0; i < std::size(table); ++i)
        if (static_cast<std::size_t>(table[i].group) != i) return false;
    return static_cast<std::size_t>(Group::unityHub) + 1 == std::size(table);
}
static_assert(inOrder());

} // namespace

const GroupInfo& about(Group group) { return table[static_cast<std::size_t>(group)]; }

std::span<const GroupInfo> groups() { return table; }

} // namespace quillon
