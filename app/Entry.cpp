// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/Entry.h"

#include "app/Window.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "engine/Report.h"
#include "platform/Descriptor.h"
#include "selftest/SelfTest.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>

namespace quillon {

Mode chooseMode(const std::vector<std::string>& arguments) {
    const auto has = [&](const char* word) {
        return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
    };
    if (has("--self-test")) return Mode::selfTest;
    if (has("--dry-run")) return Mode::dryRun;
    const bool onlyPreviewWord = arguments.size() == 2 && arguments[1] == "--ui-preview";
    if (arguments.size() >= 2 && !onlyPreviewWord) return Mode::usage;
    // Argument 0 counts too: a program started under the name "--ui-preview"
    // shows the harmless preview, never a real clean.
    return has("--ui-preview") ? Mode::uiPreview : Mode::window;
}

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

// Connects the way the X11 platform plugin does (libxcb reads DISPLAY and the
// authority file) and hangs up at once.
bool x11Answers() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

// Finds the compositor's socket the way libwayland-client does. A socket
// handed down in WAYLAND_SOCKET is taken as answering: only the plugin may
// use it, once.
bool waylandAnswers() {
    if (!environment("WAYLAND_SOCKET").empty()) return true;
    std::string path = environment("WAYLAND_DISPLAY");
    if (path.empty()) path = "wayland-0";
    if (path.front() != '/') {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty()) return false;
        path = runtime + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Never waits: a compositor whose queue of new clients is full (EAGAIN)
    // is there all the same.
    const platform::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket) return false;
    return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN;
}

int runSelfTest() {
    try {
        selfTest();
        return 0;
    } catch (const std::exception& error) {
        std::fputs((text::selfTestFailed + describe(error) + "\n").c_str(), stderr);
    } catch (...) {
        std::fputs((text::selfTestFailed + describe(std::current_exception()) + "\n").c_str(), stderr);
    }
    return 1;
}

int runPreview() {
    const Report report = clean(true);
    std::string out = summary(report, true) + "\n";
    for (const std::string& line : report.notes) out += line + "\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace

bool displayReachable() {
    // Unset, Qt starts from its default (xcb) and may switch to Wayland for
    // the session: either may be the one.
    std::istringstream platforms(environment("QT_QPA_PLATFORM"));
    bool any = false, x11 = false, wayland = false;
    for (std::string entry; std::getline(platforms, entry, ';');) {
        const std::string name = entry.substr(0, entry.find(':'));
        if (name.empty()) continue;
        any = true;
        if (name == "xcb") x11 = true;
        else if (name.starts_with("wayland")) wayland = true;
        else return true;
    }
    if (!any) x11 = wayland = true;
    return (x11 && x11Answers()) || (wayland && waylandAnswers());
}

int runEntry(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const Mode mode = chooseMode(arguments);
    switch (mode) {
    case Mode::selfTest:
        return runSelfTest();
    case Mode::dryRun:
        return runPreview();
    case Mode::usage:
        std::fputs(usageText, stderr);
        return 2;
    case Mode::window:
    case Mode::uiPreview:
        // Qt would abort on a display it cannot reach; say what works instead.
        if (!displayReachable()) {
            std::fputs(noDisplayText, stderr);
            return 1;
        }
        return runWindow(argc, argv, mode == Mode::uiPreview);
    }
    return 2;
}

} // namespace quillon
