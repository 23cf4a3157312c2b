// The contract every media control keeps (tests/media/media_control_contract.h),
// held to by the libmpv control.

#include "media/media_control_contract.h"
#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"

#include <QElapsedTimer>

#include <chrono>
#include <cstddef>
#include <thread>

namespace orvane::test {
namespace {

// On the timed null output: the contract's files play in real time, as they
// are heard, so that a file held right after "Play" or closed after a moment
// is still playing then (on the untimed one it would long have ended).
class MpvContractControl : public MpvControl {
public:
    MpvContractControl() : MpvControl(Output::NullTimed)
    {
        QObject::connect(this, &MpvControl::playbackStarted, this, [this] { started = true; });
    }

    void setCommand(const std::string& command) override
    {
        if (command != "Play") {
            MpvControl::setCommand(command);
            return;
        }
        // A file mpv loads afresh is listed once mpv says it loads it; the
        // next file taken over where it sounds (or sounded) at once, and it
        // may have started already.
        started = false;
        const std::size_t listed = openedPaths().size();
        MpvControl::setCommand(command);
        takenOver = openedPaths().size() > listed;
    }

    bool started = false;   // since the last "Play"
    bool takenOver = false; // by the last "Play"
};

struct MpvTraits {
    using Control = MpvContractControl;
    static constexpr const char* name = "Mpv";
    static constexpr bool mayLackDevice = false;
    static constexpr int shortMs = 200;
    static constexpr int longMs = 1500;
    static constexpr bool namesAreBytes = true;

    static std::string bytes(int ms) { return orvane::testing::sineMp3(ms / 1000.0); }
    static std::string otherBytes() { return orvane::testing::sineMp3(0.25, true); }

    static bool pumpUntil(const std::function<bool()>& condition, int timeoutMs)
    {
        return orvane::testing::spinUntil(condition, timeoutMs);
    }
    static void pumpFor(int ms) { orvane::testing::spinFor(ms); }

    // mpv plays on threads of its own; what it says waits in its queue until
    // this thread's event loop reads it. The position is mpv's own, asked for
    // at once: there once mpv has loaded the file (below 0 while the end of
    // the file before it is still heard), gone once mpv has left it. A file
    // taken over may have been heard to its end before its "Play", its
    // completion then already posted.
    static bool waitForQueuedEnd(const MpvContractControl& control)
    {
        QElapsedTimer clock;
        clock.start();
        bool loaded = control.takenOver;
        while (clock.elapsed() < 15000) {
            if (control.position() > -0.5) {
                loaded = true;
            } else if (loaded) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // its report follows
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    static const std::vector<std::string>& openedPaths(const MpvContractControl& control)
    {
        return control.openedPaths();
    }
    static bool sounding(const MpvContractControl& control)
    {
        return control.started && control.position() > 0.1;
    }

    // Names no Windows file can have; the folders "http:" and "memory:" make
    // the first two look like addresses.
    static std::vector<std::string> moreStrangeNames()
    {
        return {"quote's \"double\" `tick`.mp3", "semi;colon & pipe |.mp3", "http://host.mp3",
                "memory://x.mp3", "line\nbreak.mp3"};
    }
    static std::vector<std::string> moreRelativeNames() { return {"av://song.mp3"}; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, MediaControlContract, ::testing::Types<MpvTraits>, ControlName);

} // namespace
} // namespace orvane::test
