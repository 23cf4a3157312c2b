#pragma once

// The real player on the real libmpv control (silent, untimed) and a real
// temporary folder tree, driven by hand: each step is one timer tick, after
// which the event loop runs until the opened file has ended.

#include "qt/mpv_control.h"
#include "qt/qt_ui_host.h"
#include "player/player.h"
#include "qt/mpv_fixtures.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::test {

// The window services for tests: real yields, but message boxes are noted
// instead of shown. An action set in atNextYield runs once, as the next yield
// begins, before any event is handled.
class RecordingQtUi : public QtUiHost {
public:
    RecordingQtUi() : QtUiHost(nullptr) {}
    void yield() override
    {
        if (auto action = std::exchange(atNextYield, nullptr))
            action();
        QtUiHost::yield();
    }
    std::function<void()> atNextYield;
    void messageBox(const std::string& text, int, const std::string& title) override
    {
        boxes.push_back(title + ": " + text);
    }
    std::vector<std::string> boxes;
};

class MpvPlayerFixture : public ::testing::Test {
protected:
    using Files = std::vector<std::string>;

    void options(const std::string& path, int sub, int repeat, bool byDate = false)
    {
        ControlModel& c = player.controls();
        c.setText1(path);
        c.setCkSub(sub);
        c.setCkRepeat(repeat);
        c.setOptDate(byDate);
        c.setOptName(!byDate);
    }

    // One tick, then the event loop until the device is free again.
    void step(int timeoutMs = 5000)
    {
        player.Timer1_Timer();
        const ControlModel& c = player.controls();
        orvane::testing::spinUntil([&] { return player.DeviceReady == 1 || !c.enabled(Ctl::Timer1); }, timeoutMs);
    }

    // Plays until the sequence ends by itself or `limit` files were loaded,
    // then stops. Returns the files mpv loaded.
    Files playAll(std::size_t limit = 1000, int maxSteps = 100000)
    {
        player.cmdPlay_Click();
        const ControlModel& c = player.controls();
        for (int i = 0; i < maxSteps && c.enabled(Ctl::Timer1) && mpv.openedPaths().size() < limit; ++i)
            step();
        const bool endedByItself = !c.enabled(Ctl::Timer1);
        player.cmdStop_Click();
        ended = endedByItself;
        return mpv.openedPaths();
    }

    std::string at(const std::string& rel) const { return tree.path(rel); }
    void music(const std::string& rel, double seconds = 0.05) { tree.makeFile(rel, orvane::testing::sineMp3(seconds)); }

    TempTree tree;
    MpvControl mpv{MpvControl::Output::NullUntimed};
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
    RecordingQtUi ui;
    Player player{mpv, *fs, ui};
    bool ended = false; // the last playAll ended without help
};

} // namespace orvane::test
