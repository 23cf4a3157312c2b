#include "qt/qt_tray_platform.h"
#include "qt/tray_images.h"
#include "qt/tray_test_support.h"
#include "player/player.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace orvane {
namespace {

QImage image16(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(TrayPictures, BuiltInImagesCarryEverySizeAndDifferByState)
{
    const QIcon playing = TrayPictures::builtIn(TrayImagePlaying);
    const QIcon paused = TrayPictures::builtIn(TrayImagePaused);
    ASSERT_FALSE(playing.isNull());
    ASSERT_FALSE(paused.isNull());
    for (const QIcon& icon : {playing, paused}) {
        const QList<QSize> sizes = icon.availableSizes();
        for (int s : {16, 24, 32, 48})
            EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    }
    EXPECT_NE(image16(playing), image16(paused));
}

TEST(TrayPictures, FileBesideTheProgramWinsAndMissingOrBrokenFilesFallBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeIconFile(dir.filePath(TrayImagePlaying), Qt::red));
    {
        QFile broken(dir.filePath(TrayImagePaused));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("not an icon at all");
    }
    TrayPictures pictures(dir.path());

    const IconHandle fromFile = pictures.load(TrayImagePlaying);
    EXPECT_EQ(test::centreColour(pictures.icon(fromFile)), QColor(Qt::red));

    const IconHandle fromBroken = pictures.load(TrayImagePaused);
    EXPECT_EQ(image16(pictures.icon(fromBroken)), image16(TrayPictures::builtIn(TrayImagePaused)));

    QFile::remove(dir.filePath(TrayImagePlaying));
    const IconHandle fromMissing = pictures.load(TrayImagePlaying);
    EXPECT_EQ(image16(pictures.icon(fromMissing)), image16(TrayPictures::builtIn(TrayImagePlaying)));

    // Every load is a picture of its own.
    EXPECT_NE(fromFile, fromMissing);
    EXPECT_NE(fromFile, 0u);
    pictures.release(fromFile);
    EXPECT_TRUE(pictures.icon(fromFile).isNull());
    EXPECT_FALSE(pictures.icon(fromMissing).isNull());
}

using Delivered = std::tuple<WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t>;

TEST(QtTrayPlatform, IconActivityReachesTheWindowProcedureAsMouseMessages)
{
    TrayPictures pictures(QStringLiteral("/nonexistent"));
    QtTrayPlatform platform(pictures);
    constexpr WindowHandle window = 0x42;

    // The window's own procedure answers 0 to what it does not handle.
    const WindowProc own = platform.setWindowProc(window, nullptr);
    ASSERT_TRUE(own);
    EXPECT_EQ(own(window, SysTrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);

    std::vector<Delivered> delivered;
    platform.setWindowProc(window, [&](WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
        delivered.emplace_back(w, m, wp, lp);
        return 0;
    });

    const IconHandle picture = pictures.load(TrayImagePlaying);
    NotifyIconData data;
    data.hWnd = window;
    data.uID = picture;
    data.hIcon = picture;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = SysTrayCallbackMessage;
    data.szTip = "MP3 Orvane";
    platform.notifyIconAdd(data);
    platform.notifyIconAdd(data); // the same identity again: refused
    ASSERT_EQ(platform.iconCount(), 1u);

    QSystemTrayIcon* icon = platform.trayIcon(window, picture);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("MP3 Orvane"));
    EXPECT_FALSE(icon->icon().isNull());
    // A menu of the icon's own would open by itself, beside the window's.
    EXPECT_EQ(icon->contextMenu(), nullptr);

    emit icon->activated(QSystemTrayIcon::Context);
    emit icon->activated(QSystemTrayIcon::Trigger);
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    const std::vector<Delivered> expected = {
        {window, SysTrayCallbackMessage, picture, WM_RBUTTONDOWN},
        {window, SysTrayCallbackMessage, picture, WM_LBUTTONDOWN},
        {window, SysTrayCallbackMessage, picture, WM_LBUTTONDBLCLK},
    };
    EXPECT_EQ(delivered, expected);

    NotifyIconData other = data;
    other.uID = picture + 1;
    platform.notifyIconDelete(other); // names no icon
    EXPECT_EQ(platform.iconCount(), 1u);
    platform.notifyIconDelete(data);
    EXPECT_EQ(platform.iconCount(), 0u);
    EXPECT_EQ(platform.trayIcon(window, picture), nullptr);
}

} // namespace
} // namespace orvane
