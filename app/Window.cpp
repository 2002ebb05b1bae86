// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/Window.h"

#include "app/WindowController.h"
#include "app/AppIcon.h"
#include "app/QuitSignals.h"
#include "core/Texts.h"

#include <QApplication>

namespace quillon {

int runWindow(int argc, char** argv, bool preview) {
    // Qt keeps a reference to argc for the application's lifetime; this
    // frame outlives the application object.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(text::programName));
    QApplication::setDesktopFileName(QStringLiteral("com.brenvale.quillon"));
    QApplication::setWindowIcon(appIcon());
    // The window never closes by itself; the controller ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QuitSignals quitSignals;
    WindowController controller(preview);
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &controller, &WindowController::requestQuit);
    QMetaObject::invokeMethod(&controller, &WindowController::launch, Qt::QueuedConnection);
    QApplication::exec();
    return 0;
}

} // namespace quillon
