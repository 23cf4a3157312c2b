#pragma once

// Test doubles that record what the player asked of them.

#include "media/mm_control.h"
#include "platform/file_service.h"
#include "platform/file_system.h"
#include "platform/ui_host.h"
#include "settings/mod_reg.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvane::test {

// Records every property set and command, in order, as "Command=Open",
// "FileName=/m/a.mp3", "Notify=0" and so on.
class FakeMMControl : public MMControl {
public:
    void setCommand(const std::string& command) override { log.push_back("Command=" + command); }
    void setFileName(const std::string& path) override { log.push_back("FileName=" + path); }
    void setNotify(bool on) override { log.push_back(std::string("Notify=") + (on ? "1" : "0")); }
    void setWait(bool on) override { log.push_back(std::string("Wait=") + (on ? "1" : "0")); }
    void setShareable(bool on) override { log.push_back(std::string("Shareable=") + (on ? "1" : "0")); }
    // Kept apart from the log: a hint is no command to the control.
    void setNextFileName(const std::string& path) override { nextFiles.push_back(path); }
    void setFolderAhead(const std::vector<std::string>& paths) override
    {
        folders.push_back(paths);
        hintsBefore.push_back(nextFiles.size());
    }
    // In the log as "StartAt=" and whole milliseconds.
    void setStartPosition(double seconds) override
    {
        log.push_back("StartAt=" + std::to_string(static_cast<long long>(seconds * 1000.0 + 0.5)));
    }
    double position() const override { return positionNow; }
    bool canSeek() const override { return seekable; }
    // In the log as "Seek=" and whole milliseconds; the position is there at once.
    void seek(double seconds) override
    {
        log.push_back("Seek=" + std::to_string(static_cast<long long>(seconds * 1000.0 + 0.5)));
        positionNow = seconds;
    }
    void setVolume(double level) override { volumes.push_back(level); }
    NowPlaying nowPlaying() const override { return now; }

    // Raises the completion event as the real control does at a file's end.
    void finish(int code = NotifySuccessful) { raiseDone(code); }
    // Says that what it knows of the file it plays (its tags) has changed.
    void learnTags() { raiseNowPlayingChanged(); }

    // The files opened so far, in order.
    std::vector<std::string> opened() const;
    std::vector<std::string> commands() const; // the Command= entries only
    // For each file opened, in order, where its "Play" started it: whole
    // milliseconds, or "none" from its beginning.
    std::vector<std::string> starts() const;
    void clear() { log.clear(); }

    std::vector<std::string> log;
    std::vector<std::string> nextFiles; // every next-file hint, in order
    std::vector<std::vector<std::string>> folders; // every folder named ahead, in order
    std::vector<std::size_t> hintsBefore;           // how many next-file hints came before each
    double positionNow = -1.0;          // what position() says
    bool seekable = true;               // what canSeek() says
    std::vector<double> volumes;        // every level set, in order
    NowPlaying now;                     // what nowPlaying() says
};

// Counts yields and runs actions injected into them; records message boxes and
// the mouse pointer.
class FakeUi : public UiHost {
public:
    void yield() override;
    void messageBox(const std::string& text, int style, const std::string& title) override
    {
        boxes.push_back({text, style, title});
    }
    void setMousePointer(int code) override { pointers.push_back(code); }
    void requestTick() override { ++tickRequests; }
    // Runs what a requested tick runs, as the window does when it is free.
    void runTick() { runRequestedTick(); }
    // Posted calls wait until the test runs them.
    void post(std::function<void()> call) override { posted.push_back(std::move(call)); }
    void runPosted();
    // A clock that moves only when a test (or a fake it drives) moves it.
    std::chrono::steady_clock::time_point steadyNow() const override { return now; }

    // Runs action at the yield numbered n (1 = the next one).
    void atYield(int n, std::function<void()> action) { actions[yields + n] = std::move(action); }

    struct Box {
        std::string text;
        int style;
        std::string title;
    };
    int yields = 0;
    int tickRequests = 0;
    std::chrono::steady_clock::time_point now{};
    std::vector<Box> boxes;
    std::vector<int> pointers;
    std::map<int, std::function<void()>> actions;
    std::vector<std::function<void()>> posted;
};

// The window thread's queue: calls posted from any thread, run by the test.
// Its waits end as soon as a call is there; the guard only keeps a fault
// from hanging the run.
class Inbox {
public:
    static constexpr std::chrono::seconds HangGuard{20};

    void post(std::function<void()> call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        arrived_.notify_all();
    }
    bool runOne()
    {
        std::function<void()> call;
        {
            std::unique_lock lock(mutex_);
            if (!arrived_.wait_for(lock, HangGuard, [&] { return !calls_.empty(); }))
                return false;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
        return true;
    }
    bool arrives()
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, HangGuard, [&] { return !calls_.empty(); });
    }
    std::size_t waiting()
    {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> calls_;
};

// A registry held in memory, shared by every object the factory makes, that
// records each write in order, as "PlayOrder=2".
struct MemoryStore {
    RegistryFactory factory();

    std::map<std::string, std::string> values;
    std::vector<std::string> writes;
    bool failWrites = false;
    bool failReads = false;
};

class MemoryRegistry : public Registry {
public:
    explicit MemoryRegistry(MemoryStore& store) : store_(store) {}
    void write(const std::string& path, const std::string& value) override;
    std::optional<std::string> read(const std::string& path) override;

private:
    MemoryStore& store_;
};

// An in-memory tree with '/' paths. Folders and files are added explicitly;
// listing gives entries in insertion order, as a real file system gives its own.
// As every file system must, it bears two calls at once (a worker left inside
// a stalled call and the next one), and the test's changes to the tree while
// a worker reads it; listings is read by the test once the workers are idle.
class FakeFileSystem : public FileSystem {
public:
    char separator() const override { return '/'; }
    bool folderExists(const std::string& path) override;
    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override;
    std::string firstMp3(const std::string& folder) override;
    DateTime dateCreated(const std::string& path) override;

    void addFolder(const std::string& path);
    // Adds a file (and its folders); day is its creation day since the epoch.
    void addFile(const std::string& path, int day = 0);
    void remove(const std::string& path);
    void makeUnreadable(const std::string& folder)
    {
        std::lock_guard lock(mutex_);
        unreadable.insert(folder);
    }

    std::vector<std::string> listings; // every folder listed, in order
    std::set<std::string> unreadable;
    bool listsDots = false; // "." and ".." listed as folders, as a Windows listing has them
    // Where set, each listing and each existence check moves this clock on
    // by callCost: a file system that is slow to answer.
    std::chrono::steady_clock::time_point* clock = nullptr;
    std::chrono::steady_clock::duration callCost{};

private:
    struct Node {
        bool folder = false;
        DateTime created{};
        std::vector<std::string> children; // names, in insertion order
    };
    std::string normal(const std::string& path) const;
    std::map<std::string, Node> nodes_;
    std::recursive_mutex mutex_; // over every member, as the calls may come from two threads
};

// A share that answers later: each call the player asks waits until the test
// answers it, and calls on a share that has gone are not answered at all
// until it comes back. The answers are what the file system behind holds
// when the test answers.
class SlowFileService : public DeferredFileService {
public:
    explicit SlowFileService(FileSystem& fs) : DeferredFileService(fs.separator()), fs_(fs) {}

    // Answers the calls out now (not those the answers make the player ask),
    // in the order asked; how many were answered.
    std::size_t answer();
    // Answers until nothing more is asked that can be answered.
    void answerAll();
    // Calls on paths under prefix are not answered until comeBack.
    void goAway(const std::string& prefix)
    {
        gone_ = [prefix](const std::string& path) { return path.rfind(prefix, 0) == 0; };
    }
    // Calls on that path itself (not on what is inside) are not answered.
    void holdPath(const std::string& held)
    {
        gone_ = [held](const std::string& path) { return path == held; };
    }
    void comeBack() { gone_ = nullptr; }

    std::vector<FileCall> out; // asked, not answered yet
    int asked = 0;
    int askedWhileOut = 0; // asked again before the answer to its first asking came

protected:
    void ask(const FileCall& call) override
    {
        askedWhileOut += std::count_if(out.begin(), out.end(), [&](const FileCall& c) { return c.key() == call.key(); });
        out.push_back(call);
        ++asked;
    }

private:
    bool isGone(const FileCall& call) const { return gone_ && gone_(call.path); }
    FileSystem& fs_;
    std::function<bool(const std::string&)> gone_;
};

} // namespace orvane::test
