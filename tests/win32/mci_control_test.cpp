// The media control on MCI where MCI itself has a say: the end of a file it
// has queued for this thread but that is still unread belongs to that file,
// never to the one opened or played after it. What every control does is in
// media_control_contract_test.cpp.

#include "media_test_support.h"

namespace orvane::test {
namespace {

using MciControlTest = MediaControlTest<MciTraits>;

TEST_F(MciControlTest, QueuedEndOfAClosedOrReplacedFileNeverCompletes)
{
    // The next file is held at once: any completion while it is held
    // belongs to the file before it.
    SCOPED_TRACE("closed with its end already queued");
    openAndPlay(song("a.mp3"));
    ASSERT_TRUE(waitForQueuedMciReport());
    control.setCommand("Close");
    openAndPlay(song("b.mp3", 1000));
    ASSERT_NO_FATAL_FAILURE(holdThenResume(1000));

    SCOPED_TRACE("ended by the next Open, with its end already queued");
    codes.clear();
    openAndPlay(song("c.mp3"));
    ASSERT_TRUE(waitForQueuedMciReport());
    openAndPlay(song("d.mp3", 1000));
    control.setCommand("pause");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());
}

TEST_F(MciControlTest, PlayAgainWithTheEndQueuedCompletesOnce)
{
    openAndPlay(song("a.mp3", 1000));
    ASSERT_TRUE(waitForCompletions(1));
    codes.clear();
    control.setCommand("Play");
    ASSERT_TRUE(waitForQueuedMciReport());
    control.setCommand("Play");
    ASSERT_NO_FATAL_FAILURE(holdThenResume(1000));
}

} // namespace
} // namespace orvane::test
