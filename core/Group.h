// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillon {

// The application or tool family that owns a location's data: what a running
// program protects, what the progress names, and what the summary lists.
enum class Group : std::uint8_t {
    development, vlc, python, javaScript, packageDownloads, logs, gpu, thumbnail, desktop, vsCode, figma, chrome,
    chromium, firefox, edge, brave, codex, atlas, claude, spotify, vivaldi, opera, thunderbird, libreWolf, cursor,
    slack, discord, teamsForLinux, signal, obsidian, element, steam, jetBrains, gradle, framer, safari, preview,
    blender, nucleo, unityHub,
};

// Everything the program knows of one group. A running program protects the
// group when its lower-cased name equals one of `names` or begins with one of
// `prefixes`, unless it is one of `ignored`; each list is names separated by
// "|" (empty: none). A group with no names and no prefixes is never busy.
struct GroupInfo {
    Group group;
    std::string_view name;      // as the progress and the summary show it
    const char* stage;          // the progress stage it shares with others, or null: its own (see stageText)
    bool namedWhenBusy;         // whether the summary names it among the running apps
    std::string_view names;
    std::string_view prefixes;
    std::string_view ignored;
};

// Returns the facts of `group`.
const GroupInfo& about(Group group);

// Returns every group's facts, in the order of the enumeration.
std::span<const GroupInfo> groups();

} // namespace quillon
