#include "platform/file_service.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane::test {
namespace {

using namespace std::chrono_literals;

// Only a guard against a hang: every wait below ends as soon as what it waits
// for has happened.
constexpr auto HangGuard = 20s;

// Listings of folders under "/gone" do not return until the share comes back.
class GatedFileSystem : public FakeFileSystem {
public:
    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override
    {
        {
            std::unique_lock lock(mutex_);
            entered_.push_back(folder);
            changed_.notify_all();
            changed_.wait(lock, [&] { return back_ || folder.rfind("/gone", 0) != 0; });
        }
        return FakeFileSystem::listFolder(folder, pattern);
    }
    bool waitUntilInside(const std::string& folder, std::chrono::milliseconds guard = HangGuard, long times = 1)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, guard, [&] {
            return std::count(entered_.begin(), entered_.end(), folder) >= times;
        });
    }
    void comeBack()
    {
        std::lock_guard lock(mutex_);
        back_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> entered_;
    bool back_ = false;
};

class AsyncFiles : public ::testing::Test {
protected:
    AsyncFiles()
    {
        fs->addFile("/m/b.mp3");
        fs->addFile("/m/a.mp3");
        fs->addFile("/gone/c.mp3");
        fs->addFile("/n/c.mp3");
        service->answered().connect([this] { ++answers; });
    }
    ~AsyncFiles() override { fs->comeBack(); } // lets a worker still inside a call end

    template <class Read>
    static bool pends(Read read)
    {
        try {
            read();
        } catch (const FileAnswerPending&) {
            return true;
        }
        return false;
    }

    // True once no worker holds the file system any more (a thread's end
    // gives no other sign).
    bool fileSystemLetGo()
    {
        const auto until = std::chrono::steady_clock::now() + HangGuard;
        while (fs.use_count() > 1) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    std::shared_ptr<GatedFileSystem> fs = std::make_shared<GatedFileSystem>();
    Inbox inbox;
    std::unique_ptr<AsyncFileService> service = std::make_unique<AsyncFileService>(
        fs, [this](std::function<void()> call) { inbox.post(std::move(call)); });
    int answers = 0;
};

TEST_F(AsyncFiles, ReadsPendUntilTheirAnswersArriveOnTheWindowThreadInOrder)
{
    EXPECT_TRUE(pends([&] { service->firstMp3("/m"); }));
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::Mp3Files); }));
    EXPECT_TRUE(pends([&] { service->firstMp3("/m"); })) << "asked once, still out";
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(service->firstMp3("/m"), "b.mp3");
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::Mp3Files); }));
    ASSERT_TRUE(inbox.runOne());
    const std::vector<DirEntry> listed = service->listFolder("/m", ListPattern::Mp3Files);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "b.mp3");
    EXPECT_FALSE(pends([&] { service->dateCreated("/m/a.mp3"); })) << "dates come with the listing";
    service->forgetFolder("/m");
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::Mp3Files); })) << "read again";
    ASSERT_TRUE(inbox.runOne());

    EXPECT_TRUE(pends([&] { service->listFolder("/n", ListPattern::Mp3Files); }));
    service->forgetFolder("/n"); // and asked again while the first answer is on its way
    EXPECT_TRUE(pends([&] { service->listFolder("/n", ListPattern::Mp3Files); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_TRUE(pends([&] { service->listFolder("/n", ListPattern::Mp3Files); })) << "not the asking waited for";
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(service->firstMp3("/n"), "c.mp3") << "known from the listing: the share is not asked again";
    EXPECT_TRUE(pends([&] { service->listFolder("/nowhere", ListPattern::All); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_THROW(service->listFolder("/nowhere", ListPattern::All), FileSystemError) << "the failure, kept";
    EXPECT_TRUE(pends([&] { service->folderExists("/nowhere"); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_FALSE(service->folderExists("/nowhere"));
    EXPECT_TRUE(pends([&] { service->dateCreated("/m/none.mp3"); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_THROW(service->dateCreated("/m/none.mp3"), FileSystemError);

    // Failures (a folder found missing too) are asked again once forgotten;
    // what answered is kept, and so is what failed after the mark.
    const std::uint64_t mark = service->mark();
    EXPECT_TRUE(pends([&] { service->listFolder("/nowhere", ListPattern::Mp3Files); }));
    ASSERT_TRUE(inbox.runOne());
    service->forgetFailures("/nowhere", mark);
    EXPECT_TRUE(pends([&] { service->listFolder("/nowhere", ListPattern::All); }));
    EXPECT_TRUE(pends([&] { service->folderExists("/nowhere"); }));
    EXPECT_THROW(service->listFolder("/nowhere", ListPattern::Mp3Files), FileSystemError);
    EXPECT_THROW(service->dateCreated("/m/none.mp3"), FileSystemError) << "another folder's";
    EXPECT_EQ(service->firstMp3("/n"), "c.mp3");
    // Kept for the next round: the good answers about the folders given.
    service->keepOnly(mark, {"/n", "/nowhere"});
    EXPECT_TRUE(pends([&] { service->firstMp3("/n"); })) << "asked before the mark";
    EXPECT_TRUE(pends([&] { service->listFolder("/nowhere", ListPattern::Mp3Files); })) << "a failure";
}

// How a call still out comes to be dropped: a Stop drops everything pending,
// a new start everything asked before it.
struct DropCase {
    const char* name;
    void (*drop)(FileService&);
};

class AsyncFilesDropped : public AsyncFiles, public ::testing::WithParamInterface<DropCase> {};

TEST_P(AsyncFilesDropped, ACallStuckOnAGoneShareHoldsUpNoCallAskedAfterItWasDropped)
{
    EXPECT_TRUE(pends([&] { service->listFolder("/gone", ListPattern::All); }));
    ASSERT_TRUE(fs->waitUntilInside("/gone"));
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::All); }));
    GetParam().drop(*service);
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::All); }));
    ASSERT_TRUE(inbox.runOne()) << "answered while the other call is still stuck";
    EXPECT_EQ(service->listFolder("/m", ListPattern::All).size(), 2u);

    fs->comeBack();
    EXPECT_TRUE(pends([&] { service->listFolder("/m/", ListPattern::All); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(inbox.waiting(), 0u) << "the dropped call's answer is never handed over";
    EXPECT_EQ(answers, 2);
}

INSTANTIATE_TEST_SUITE_P(
    By, AsyncFilesDropped,
    ::testing::Values(DropCase{"AStop", [](FileService& files) { files.dropPending(); }},
                      DropCase{"ANewStart", [](FileService& files) { files.forgetBefore(files.mark()); }},
                      // made between the two calls: the second is kept, not asked again
                      DropCase{"ANewStartBetween", [](FileService& files) { files.forgetBefore(files.mark() - 1); }}),
    [](const auto& info) { return info.param.name; });

TEST_F(AsyncFiles, TheServiceEndsAtOnceWhileACallIsStuck)
{
    EXPECT_TRUE(pends([&] { service->listFolder("/gone", ListPattern::All); }));
    ASSERT_TRUE(fs->waitUntilInside("/gone"));
    service.reset(); // would wait for good if it joined its worker
    fs->comeBack();
    EXPECT_EQ(inbox.waiting(), 0u);
    EXPECT_EQ(answers, 0);

    // An answer on its way to the window thread as the service goes finds
    // nothing to hand itself to.
    service = std::make_unique<AsyncFileService>(fs, [this](std::function<void()> call) { inbox.post(std::move(call)); });
    service->answered().connect([this] { ++answers; });
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::All); }));
    ASSERT_TRUE(inbox.arrives());
    service.reset();
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(answers, 0);
    EXPECT_TRUE(fileSystemLetGo()) << "the workers, idle or back from the share, end with the service";

    // Closed before anything was asked, it asks the share nothing after.
    service = std::make_unique<AsyncFileService>(fs, [this](std::function<void()> call) { inbox.post(std::move(call)); });
    service->close();
    EXPECT_TRUE(pends([&] { service->listFolder("/n", ListPattern::All); }));
    EXPECT_FALSE(fs->waitUntilInside("/n", 200ms));
}

// Each Play on a share that hangs leaves a worker inside a call, and each Stop
// drops it: two such workers are all there ever are, and once the share is
// back they take calls again.
TEST_F(AsyncFiles, PlayAndStopOnAHungShareMakeTwoWorkersAtMostWhichServeAgainOnceItIsBack)
{
    for (long round = 1; round <= 4; ++round) {
        EXPECT_TRUE(pends([&] { service->listFolder("/gone", ListPattern::All); }));
        if (round <= AsyncFileService::MostWorkers) {
            ASSERT_TRUE(fs->waitUntilInside("/gone", HangGuard, round));
        }
        service->dropPending();
    }
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::All); })) << "waits for a worker to come back";
    EXPECT_EQ(service->workersMade(), 2);
    fs->comeBack();
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(service->listFolder("/m", ListPattern::All).size(), 2u);
    EXPECT_TRUE(pends([&] { service->listFolder("/gone", ListPattern::All); }));
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(service->listFolder("/gone", ListPattern::All).size(), 1u);
    EXPECT_EQ(inbox.waiting(), 0u) << "no answer to a dropped call is handed over";
    EXPECT_EQ(answers, 2);
    EXPECT_EQ(service->workersMade(), 2) << "the workers back from the share took the calls";
}

// A new start drops what was asked before it, not the call the worker is in,
// asked after it: that one's answer still comes.
TEST_F(AsyncFiles, TheCallInHandAskedAfterTheMarkIsAnswered)
{
    EXPECT_TRUE(pends([&] { service->listFolder("/m", ListPattern::All); }));
    ASSERT_TRUE(inbox.arrives()); // on its way, not handed over yet
    const std::uint64_t mark = service->mark();
    EXPECT_TRUE(pends([&] { service->listFolder("/gone", ListPattern::All); }));
    ASSERT_TRUE(fs->waitUntilInside("/gone"));
    EXPECT_TRUE(pends([&] { service->listFolder("/n", ListPattern::All); })); // waits behind it
    service->forgetBefore(mark);
    fs->comeBack();
    ASSERT_TRUE(inbox.runOne()); // the answer for /m, thrown away
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(service->listFolder("/gone", ListPattern::All).size(), 1u);
    ASSERT_TRUE(inbox.runOne());
    EXPECT_EQ(service->listFolder("/n", ListPattern::All).size(), 1u);
    EXPECT_EQ(answers, 2) << "only the answers kept are told";
}

} // namespace
} // namespace orvane::test
