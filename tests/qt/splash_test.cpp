#include "qt/frm_splash.h"

#include "qt/qt_app_support.h"
#include "qt/session_end.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <csignal>

namespace orvane {
namespace {

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        splash = std::make_unique<frmSplash>(sandbox.settings(), [this] { ++mainShown; });
        splash->show();
    }

    void press(int key, const QString& text)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(splash.get(), &event);
    }

    // A left click delivered where the platform would: to the widget under
    // the point, letting ignored events travel up to its parents.
    void clickAt(QWidget* widget, QPoint pos)
    {
        const QPointF local(pos);
        const QPointF global(widget->mapToGlobal(pos));
        QMouseEvent down(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &up);
    }

    test::SettingsSandbox sandbox;
    int mainShown = 0;
    std::unique_ptr<frmSplash> splash;
};

// It takes the focus at start: a screen reader names it as the program.
TEST_F(SplashTest, ScreenReadersNameTheWindowAndItsLogo)
{
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(splash.get());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("MP3 Orvane"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(splash->imgLogo)->text(QAccessible::Name),
              QStringLiteral("Orvane"));
}

TEST_F(SplashTest, LoadSettlesTheSettingsAndShowsTheVersion)
{
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    EXPECT_EQ(sandbox.value("PlayOrder"), "2");
    EXPECT_EQ(splash->lblVersion->text().toStdString(), "Version 3.0.0");
    EXPECT_EQ(splash->SplashTickLimit, 1);
    EXPECT_TRUE(splash->Timer1.isActive());
    EXPECT_EQ(splash->Timer1.interval(), 500);
    EXPECT_EQ(mainShown, 0);
}

TEST_F(SplashTest, FirstTickUnloadsAndShowsTheMainWindowOnce)
{
    splash->Timer1_Timer();
    EXPECT_TRUE(splash->isUnloaded());
    EXPECT_FALSE(splash->isVisible());
    EXPECT_FALSE(splash->Timer1.isActive());
    EXPECT_EQ(mainShown, 1);

    splash->close();
    splash->Timer1_Timer();
    EXPECT_EQ(mainShown, 1);
}

TEST_F(SplashTest, ItsOwnTimerEndsIt)
{
    EXPECT_TRUE(test::waitUntil([&] { return mainShown > 0; }, 5000));
    EXPECT_EQ(splash->SplashTicks, 1);
    EXPECT_FALSE(splash->isVisible());
}

TEST_F(SplashTest, CharacterKeysEndItAtOnce)
{
    press(Qt::Key_Shift, QString());
    press(Qt::Key_F1, QString());
    EXPECT_EQ(mainShown, 0) << "keys that type nothing are not a key press";

    press(Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(mainShown, 1);
    EXPECT_FALSE(splash->isVisible());
}

TEST_F(SplashTest, EnterAndEscEndItToo)
{
    for (auto [key, text] : {std::pair{Qt::Key_Return, QStringLiteral("\r")},
                             std::pair{Qt::Key_Escape, QStringLiteral("\x1b")}}) {
        SCOPED_TRACE(key);
        mainShown = 0;
        splash = std::make_unique<frmSplash>(sandbox.settings(), [this] { ++mainShown; });
        splash->show();
        press(key, text);
        EXPECT_EQ(mainShown, 1);
    }
}

TEST_F(SplashTest, ClickOnTheFrameEndsItButNotOnItsLabelsOrPicture)
{
    for (QWidget* inside : std::initializer_list<QWidget*>{
             splash->lblProductName, splash->lblCompanyProduct, splash->lblVersion,
             splash->lblWarning, splash->imgLogo}) {
        clickAt(inside, inside->rect().center());
        EXPECT_EQ(mainShown, 0) << inside->metaObject()->className();
    }
    // Frame1's own surface, below the picture and left of the texts.
    const QPoint background = splash->imgLogo->geometry().bottomLeft() + QPoint(0, 20);
    ASSERT_EQ(splash->Frame1->childAt(background), nullptr);
    clickAt(splash->Frame1, background);
    EXPECT_EQ(mainShown, 1);
}

TEST_F(SplashTest, TerminationWhileItIsUpEndsTheProgramWithoutTheMainWindow)
{
    SessionEnd sessionEnd([] { SessionEnd::closeProgram(nullptr); });
    QObject guard;
    QTimer::singleShot(3000, &guard, [] { QCoreApplication::exit(1); });
    raise(SIGTERM);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the program's loop ends at once";
    EXPECT_EQ(mainShown, 0);
    EXPECT_FALSE(splash->isUnloaded());
}

TEST_F(SplashTest, LayoutFollowsTheTwipsAtTheScreenDpi)
{
    const double dpiX = splash->logicalDpiX();
    const double dpiY = splash->logicalDpiY();
    auto px = [](int twips, double dpi) { return qRound(twips * dpi / 1440.0); };
    const int border = splash->frameWidth();

    EXPECT_EQ(splash->size(), QSize(px(7380, dpiX) + 2 * border, px(4245, dpiY) + 2 * border));
    EXPECT_EQ(splash->Frame1->geometry(),
              QRect(px(150, dpiX) + border, border, px(7080, dpiX), px(4050, dpiY)));
    EXPECT_EQ(splash->imgLogo->geometry(),
              QRect(px(480, dpiX), px(480, dpiY), px(1740, dpiX), px(1620, dpiY)));
    EXPECT_EQ(splash->lblProductName->pos(), QPoint(px(2280, dpiX), px(1560, dpiY)));
    EXPECT_EQ(splash->lblVersion->geometry().right() + 1, px(5670 + 885, dpiX))
        << "the right-aligned version keeps its right edge";
    EXPECT_EQ(splash->lblWarning->geometry(),
              QRect(px(150, dpiX), px(3660, dpiY), px(6855, dpiX), px(195, dpiY)));
    EXPECT_LE(splash->lblWarning->fontMetrics().horizontalAdvance(splash->lblWarning->text()),
              splash->lblWarning->width());
    EXPECT_FALSE(splash->imgLogo->pixmap().isNull());

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(splash->geometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(splash->geometry().center().y() - screen.center().y()), 1);
}

} // namespace
} // namespace orvane
