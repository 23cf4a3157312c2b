#include "qt/app_lifetime.h"
#include "qt/frm_about.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

// Takes the place of the browser for https addresses.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void moveOver(QWidget* target, QPoint pos)
{
    mouse(target, QEvent::MouseMove, pos);
}

void click(QWidget* target, QPoint pos)
{
    mouse(target, QEvent::MouseButtonPress, pos, Qt::LeftButton);
    mouse(target, QEvent::MouseButtonRelease, pos, Qt::LeftButton);
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        about = frmAbout::showModeless();
        settle();
    }
    void TearDown() override { delete frmAbout::instance(); }

    // A point of Frame1 that no control covers.
    QPoint frameBackground() const
    {
        const QPoint p(about->Frame1->width() / 2, about->Frame1->height() - 4);
        EXPECT_EQ(about->Frame1->childAt(p), nullptr);
        return p;
    }
    bool underlined() const { return about->lblURL->font().underline(); }

    QPointer<frmAbout> about;
};

TEST_F(AboutTest, ShowsTheVersionInBlueWithThePlainLink)
{
    EXPECT_EQ(about->lblVersion->text(), QStringLiteral("Version 3.0.0"));
    EXPECT_EQ(about->lblURL->text(), QStringLiteral("WebSite"));
    EXPECT_FALSE(underlined());
    const std::initializer_list<const QLabel*> blue = {about->lblCompanyProduct, about->lblProductName,
                                                        about->lblVersion, about->lblURL};
    for (const QLabel* label : blue)
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << label->text().toStdString();
    // Frame1 takes up all but a thin margin.
    const QRect frame = about->Frame1->geometry();
    EXPECT_LE(frame.left(), 8);
    EXPECT_LE(about->width() - frame.right(), 10);
    EXPECT_LE(about->height() - frame.bottom(), 10);
}

TEST_F(AboutTest, LinkIsUnderlinedFromThePointerOnItUntilItCrossesTheBackground)
{
    const QPoint onLink = about->lblURL->rect().center();
    moveOver(about->lblURL, onLink);
    EXPECT_TRUE(underlined());

    // Over other controls, or out of the window: unchanged.
    moveOver(about->lblProductName, about->lblProductName->rect().center());
    moveOver(about->imgLogo, about->imgLogo->rect().center());
    moveOver(about, QPoint(1, 1)); // the margin outside the frame
    EXPECT_TRUE(underlined());

    moveOver(about->Frame1, frameBackground());
    EXPECT_FALSE(underlined());
    // The colour and the pointer shape never change.
    EXPECT_EQ(about->lblURL->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_FALSE(about->lblURL->testAttribute(Qt::WA_SetCursor));

    moveOver(about->lblURL, onLink);
    EXPECT_TRUE(underlined());
}

TEST_F(AboutTest, LinkOpensTheProductPageAndTheWindowStays)
{
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    click(about->lblURL, about->lblURL->rect().center());
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    settle();

    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl(QString::fromLatin1(ProductWebPage)));
    EXPECT_FALSE(about.isNull());
    EXPECT_TRUE(about->isVisible());
}

TEST_F(AboutTest, ClicksOnLabelsLogoAndMarginDoNothing)
{
    click(about->lblProductName, about->lblProductName->rect().center());
    click(about->lblCompanyProduct, about->lblCompanyProduct->rect().center());
    click(about->lblVersion, about->lblVersion->rect().center());
    click(about->lblWarning, about->lblWarning->rect().center());
    click(about->imgLogo, about->imgLogo->rect().center());
    click(about, QPoint(1, 1));
    settle();
    ASSERT_FALSE(about.isNull());
    EXPECT_TRUE(about->isVisible());
}

TEST_F(AboutTest, FrameBackgroundClickClosesAndTheNextAboutIsNew)
{
    click(about->Frame1, frameBackground());
    settle();
    EXPECT_TRUE(about.isNull());
    EXPECT_EQ(frmAbout::instance(), nullptr);

    about = frmAbout::showModeless();
    EXPECT_EQ(about->lblVersion->text(), QStringLiteral("Version 3.0.0"));
    EXPECT_FALSE(underlined());
}

TEST_F(AboutTest, ExitClosesAndASecondAboutBringsTheSameWindowForward)
{
    EXPECT_EQ(frmAbout::showModeless(), about.data());
    about->cmdExit->click();
    settle();
    EXPECT_TRUE(about.isNull());
}

TEST_F(AboutTest, ProgramLivesOnWhileAboutIsOpenAfterTheMainWindowHasGone)
{
    int quits = 0;
    AppLifetime lifetime([&quits] { ++quits; });
    lifetime.mainWindowUnloaded();
    settle();
    EXPECT_EQ(quits, 0);

    about->cmdExit->click();
    settle();
    settle();
    EXPECT_EQ(quits, 1);
}

} // namespace
} // namespace orvane

#include "frm_about_test.moc"
