#include "qt/app_lifetime.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace orvane {
namespace {

class AppLifetimeTest : public ::testing::Test {
protected:
    void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    int quits = 0;
    AppLifetime lifetime{[this] { ++quits; }};
};

TEST_F(AppLifetimeTest, EndsWhenTheMainWindowUnloadsWithNothingElseOpen)
{
    lifetime.mainWindowUnloaded();
    settle();
    EXPECT_EQ(quits, 1);
}

TEST_F(AppLifetimeTest, AnOpenAboutWindowKeepsTheProgramUntilItCloses)
{
    QWidget about;
    about.show();
    lifetime.mainWindowUnloaded();
    settle();
    EXPECT_EQ(quits, 0);

    about.close();
    settle();
    EXPECT_EQ(quits, 1);
}

TEST_F(AppLifetimeTest, ClosingAnotherWindowWhileTheMainOneHidesInTheTrayGoesOn)
{
    QWidget main;
    QWidget about;
    main.show();
    about.show();
    main.hide(); // minimised to the tray
    about.close();
    settle();
    EXPECT_EQ(quits, 0);
}

TEST_F(AppLifetimeTest, EndsOnlyOnce)
{
    QWidget about;
    about.show();
    lifetime.mainWindowUnloaded();
    about.close();
    settle();
    about.show();
    about.close();
    settle();
    EXPECT_EQ(quits, 1);
}

} // namespace
} // namespace orvane
