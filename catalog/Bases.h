// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>

namespace quillon {

// The folders a run starts from: the five bases every catalogue location lies
// in (an empty one holds no location), and the program's own log folder,
// which no location may reach. A real run reads them once from the
// environment (see currentPlaces() in engine/Clean.h); tests give their own.
struct Bases {
    std::string home;       // the user's home directory
    std::string temp;       // the user's private temporary directory (holds the run lock)
    std::string cache;      // the user's private cache directory
    std::string sharedTemp; // the system-wide temporary directory
    std::string config;     // the user's private configuration directory
    std::string logFolder{}; // the program's own log folder (runLogFolder()), or empty: none

    friend bool operator==(const Bases&, const Bases&) = default;
};

} // namespace quillon
