// Repeat All over a folder or tree with nothing to play: the real window on the
// real libmpv control and file system, left to its own timer. The player keeps
// its playing arrangement, costs next to nothing while it waits, and plays as
// soon as music is there again.
#include "qt/frm_orvane.h"

#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"
#include "qt/qt_app_support.h"
#include "support/temp_tree.h"

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>

namespace orvane::test {
namespace {

using orvane::testing::sineMp3;
using orvane::testing::spinUntil;

// CPU time of the whole process, libmpv's threads included, in milliseconds.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The event loop as the program runs it, sleeping while nothing happens (a
// polling wait would cost CPU time of its own).
void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Case {
    const char* name;
    const char* sub;
    std::function<void(TempTree&)> before;     // the tree at Play
    std::function<void(TempTree&)> whilePlays; // done once the first file is open
    const char* musicBack;                     // a playable file put there later
};

void tone(TempTree& t, const std::string& rel) { t.makeFile(rel, sineMp3(0.05)); }

const Case cases[] = {
    {"every file deleted", "0", [](TempTree& t) { tone(t, "m/a.mp3"); },
     [](TempTree& t) { t.remove("m/a.mp3"); }, "m/back.mp3"},
    {"play path taken away", "0", [](TempTree& t) { tone(t, "m/a.mp3"); },
     [](TempTree& t) { t.remove("m"); }, "m/back.mp3"},
    {"only unplayable files", "0",
     [](TempTree& t) {
         t.makeFile("m/empty.mp3");
         t.makeFile("m/junk.mp3", std::string(4096, 'x'));
     },
     nullptr, "m/back.mp3"},
    {"a large tree of empty folders", "1",
     [](TempTree& t) {
         for (int i = 0; i < 1500; ++i)
             t.makeFolder("m/f" + std::to_string(i / 100) + "/g" + std::to_string(i));
     },
     nullptr, "m/f7/g777/back.mp3"},
    {"a small empty tree", "1", [](TempTree& t) { t.makeFolder("m/A/B"); }, nullptr,
     "m/A/back.mp3"},
    // No "Path Error" box either: that answers a Play the user pressed.
    {"play path of a tree taken away", "1", [](TempTree& t) { tone(t, "m/A/a.mp3"); },
     [](TempTree& t) { t.remove("m"); }, "m/back.mp3"},
};

TEST(RepeatWithNothingToPlay, WaitsQuietlyInThePlayingArrangementAndPlaysWhenMusicComes)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        c.before(tree);
        SettingsSandbox sandbox;
        sandbox.setValue("Version", "3.0.0");
        sandbox.setValue("PlayOrder", "2");
        sandbox.setValue("Sub", c.sub);
        sandbox.setValue("Repeat", "1");
        sandbox.setValue("PlayPath", tree.path("m"));
        auto control = std::make_unique<MpvControl>(MpvControl::Output::NullTimed);
        MpvControl& mpv = *control;
        frmOrvane w(std::move(control), makeNativeFileSystem(), sandbox.settings());
        w.show();
        w.cmdPlay->click();
        if (c.whilePlays) {
            ASSERT_TRUE(spinUntil([&] { return !mpv.openedPaths().empty(); }));
            c.whilePlays(tree);
        }
        ASSERT_TRUE(spinUntil([&] { return w.player().passWaits(); }, 20000));

        int changes = 0;
        QObject::connect(&w, &frmOrvane::controlsChanged, [&] { ++changes; });
        const auto tries = mpv.openedPaths().size();
        const double cpuBefore = processCpuMs();
        constexpr int measuredMs = 2000;
        runEventLoopFor(measuredMs);
        const double cpuMs = processCpuMs() - cpuBefore;
        EXPECT_LT(cpuMs, measuredMs * 0.05) << "CPU time while there is nothing to play";
        EXPECT_EQ(changes, 0) << "the controls hold still";
        EXPECT_LE(mpv.openedPaths().size() - tries, std::size_t{measuredMs / Timer1IntervalMs})
            << "one try per tick at most";
        EXPECT_FALSE(w.cmdPlay->isEnabled());
        EXPECT_TRUE(w.cmdPause->isEnabled());

        tone(tree, c.musicBack);
        const std::string back = tree.path(c.musicBack);
        EXPECT_TRUE(spinUntil([&] { return !mpv.openedPaths().empty() && mpv.openedPaths().back() == back; },
                              20000))
            << "plays again";
        w.cmdStop->click();
    }
}

} // namespace
} // namespace orvane::test
