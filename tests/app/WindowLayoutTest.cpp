#include "app/AppWindow.h"
#include "app/WindowViews.h"
#include "core/Texts.h"

#include "tests/app/AppTestSupport.h"

#include <QCloseEvent>
#include <QTest>
#include <QSignalSpy>

namespace quillon {
namespace {

namespace t = quillon::testing;

class WindowLayoutTest : public t::DelegateTest {
protected:
    QWidget* window() { return delegate().window(); }
    template <typename View>
    View* view(const char* name) {
        return window()->findChild<View*>(QString::fromLatin1(name));
    }
};

TEST_F(WindowLayoutTest, WindowHasAFixedContentAreaOf280By280) {
    EXPECT_EQ(window()->minimumSize(), QSize(280, 280));
    EXPECT_EQ(window()->maximumSize(), QSize(280, 280));
}

TEST_F(WindowLayoutTest, WindowHasNoCloseMinimiseOrMaximiseControl) {
    const Qt::WindowFlags flags = window()->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(WindowLayoutTest, WindowIsAToolWindow) {
    EXPECT_EQ(window()->windowType(), Qt::Tool);
}

TEST_F(WindowLayoutTest, WindowIsTitledQuillon) { EXPECT_EQ(window()->windowTitle().toStdString(), text::programName); }

TEST_F(WindowLayoutTest, WindowCarriesTheProgramsIcon) { EXPECT_FALSE(window()->windowIcon().isNull()); }

TEST_F(WindowLayoutTest, FramesAreTurnedFromBottomLeftToTopLeft) {
    EXPECT_EQ(AppWindow::fromBottomLeft(QRect(20, 20, 104, 32)), QRect(20, 228, 104, 32));
}

TEST_F(WindowLayoutTest, IconFrame) { EXPECT_EQ(view<QLabel>("icon")->geometry(), QRect(100, 32, 80, 80)); }

TEST_F(WindowLayoutTest, TitleFrame) { EXPECT_EQ(view<QLabel>("titleLabel")->geometry(), QRect(16, 120, 248, 24)); }

TEST_F(WindowLayoutTest, ProgressFrame) {
    EXPECT_EQ(view<QProgressBar>("progress")->geometry(), QRect(52, 164, 176, 12));
}

TEST_F(WindowLayoutTest, StatusFrame) { EXPECT_EQ(view<QLabel>("statusLabel")->geometry(), QRect(16, 184, 248, 32)); }

TEST_F(WindowLayoutTest, CancelButtonFrame) {
    EXPECT_EQ(view<QPushButton>("cancelButton")->geometry(), QRect(20, 228, 104, 32));
}

TEST_F(WindowLayoutTest, LogsButtonFrame) {
    EXPECT_EQ(view<QPushButton>("logsButton")->geometry(), QRect(156, 228, 104, 32));
}

TEST_F(WindowLayoutTest, ViewsAreAddedInTableOrder) {
    QStringList names;
    for (const QObject* child : window()->children())
        if (child->isWidgetType()) names << child->objectName();
    EXPECT_EQ(names, QStringList({"icon", "titleLabel", "progress", "statusLabel", "cancelButton", "logsButton"}));
}

TEST_F(WindowLayoutTest, IconShowsAnImageNamedForAccessibility) {
    auto* icon = view<QLabel>("icon");
    EXPECT_FALSE(icon->pixmap().isNull());
    EXPECT_EQ(icon->accessibleName().toStdString(), text::iconName);
}

TEST_F(WindowLayoutTest, TitleIsQuillonIn15PixelSemibold) {
    auto* title = view<QLabel>("titleLabel");
    EXPECT_EQ(title->text().toStdString(), text::programName);
    EXPECT_EQ(title->font().pixelSize(), 15);
    EXPECT_EQ(title->font().weight(), QFont::DemiBold);
    EXPECT_EQ(title->alignment(), Qt::AlignCenter);
}

TEST_F(WindowLayoutTest, StatusStartsAsPreparingIn11PixelSecondaryText) {
    auto* status = view<QLabel>("statusLabel");
    EXPECT_EQ(status->text().toStdString(), text::preparing);
    EXPECT_EQ(status->font().pixelSize(), 11);
    EXPECT_EQ(status->alignment(), Qt::AlignCenter);
    EXPECT_LT(status->palette().color(QPalette::WindowText).alphaF(), 1.0F);
}

TEST_F(WindowLayoutTest, ProgressIsADeterminateBarAtZero) {
    auto* progress = view<QProgressBar>("progress");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), progressBarSteps);
    EXPECT_EQ(progress->value(), 0);
}

TEST_F(WindowLayoutTest, CancelButtonReadsCancelWithEscape) {
    auto* cancel = view<QPushButton>("cancelButton");
    EXPECT_EQ(cancel->text().toStdString(), text::cancelButton);
    EXPECT_EQ(cancel->shortcut(), QKeySequence(Qt::Key_Escape));
    EXPECT_TRUE(cancel->isEnabled());
}

TEST_F(WindowLayoutTest, LogsButtonReadsShowLogsWithoutAKey) {
    auto* logs = view<QPushButton>("logsButton");
    EXPECT_EQ(logs->text().toStdString(), text::showLogsButton);
    EXPECT_TRUE(logs->shortcut().isEmpty());
}

TEST_F(WindowLayoutTest, NothingIsShownBeforeLaunch) { EXPECT_FALSE(window()->isVisible()); }

TEST_F(WindowLayoutTest, LaunchShowsTheWindowActive) {
    AppDelegate& launched = launch();
    EXPECT_TRUE(launched.window()->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(launched.window()));
}

TEST(AppWindow, IgnoresACloseEventAndReportsIt) {
    AppWindow window;
    QSignalSpy requests(&window, &AppWindow::closeRequested);
    QCloseEvent close;
    QCoreApplication::sendEvent(&window, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_EQ(requests.count(), 1);
}

} // namespace
} // namespace quillon
