#pragma once

#include "platform/file_system.h"
#include "platform/signal.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// Thrown by a read of a FileService whose answer has not come yet; the read
// has asked for it, and the service's answered signal tells when to try again.
// Deliberately no std::exception: the handlers that take a failed read for an
// unreadable folder must let it through, since nothing has failed.
struct FileAnswerPending {};

// The file system as the player reads it. Each read either answers (or throws
// FileSystemError) or, on a service that works off the window thread, throws
// FileAnswerPending. Answers are kept until forgotten, so that reading ahead
// (the next folder while a file plays) pays for the reading that follows.
class FileService : public FileSystem {
public:
    // Raised on the window thread after new answers have come in.
    Signal<>& answered() { return answered_; }

    // True when every read answers at once: nothing ever pends.
    virtual bool immediate() const = 0;

    // A number that grows with every call asked of the file system; answers
    // to calls asked before a mark can be forgotten with forgetBefore.
    virtual std::uint64_t mark() const { return 0; }
    // Forgets the answers to calls asked before mark, and the calls still
    // out: the next read of them asks the file system again.
    virtual void forgetBefore(std::uint64_t /*mark*/) {}
    // Forgets what is known of one folder: whether it exists, its listings
    // and its first ".mp3".
    virtual void forgetFolder(const std::string& /*folder*/) {}
    // Drops every call still out: its answer, when it comes, is thrown away.
    virtual void dropPending() {}
    // Forgets what a listing of folder found once its reader is done with it
    // (the walk with the listing of all entries, the sequence with the
    // ".mp3" files, their dates and the first of them), so that what is kept
    // stays what lies ahead. A call still out is left to come.
    virtual void forgetListing(const std::string& /*folder*/, ListPattern /*pattern*/) {}
    // Forgets the failures kept for folder (its listings, its first ".mp3",
    // its files' dates; the folder found missing) that calls asked before
    // mark found: a share's brief hiccup met by a read ahead is asked again
    // once the folder is needed. What answered is kept.
    virtual void forgetFailures(const std::string& /*folder*/, std::uint64_t /*mark*/) {}
    // Forgets everything but the good answers (no failure, no folder found
    // missing) to calls asked since mark about the folders given (their
    // existence, listings and first ".mp3", their files' dates).
    virtual void keepOnly(std::uint64_t /*mark*/, const std::vector<std::string>& /*folders*/) {}

protected:
    void raiseAnswered() { answered_.notify(); }

private:
    Signal<> answered_;
};

// The synchronous file system itself, read on the caller's thread.
class ImmediateFileService final : public FileService {
public:
    explicit ImmediateFileService(FileSystem& fs) : fs_(fs) {}

    char separator() const override { return fs_.separator(); }
    bool folderExists(const std::string& path) override { return fs_.folderExists(path); }
    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override
    {
        return fs_.listFolder(folder, pattern);
    }
    std::string firstMp3(const std::string& folder) override { return fs_.firstMp3(folder); }
    DateTime dateCreated(const std::string& path) override { return fs_.dateCreated(path); }
    bool immediate() const override { return true; }

private:
    FileSystem& fs_;
};

// One call to the file system, as a service asks it of its worker.
struct FileCall {
    enum class Kind { Exists, List, FirstMp3, Date };
    Kind kind = Kind::Exists;
    ListPattern pattern = ListPattern::All;
    std::string path;
    std::uint64_t ticket = 0; // which asking of the call this is

    std::string key() const;
};

// What a call found: the field its kind fills, or the failure it raised.
struct FileOutcome {
    bool exists = false;
    std::vector<DirEntry> entries;
    std::string name;
    DateTime date{};
    std::exception_ptr error;
};

// A call's answer, with the answers it brought along: a listing of a folder's
// ".mp3" files reads their creation dates too, as a play list needs them.
struct FileAnswer {
    FileCall call;
    FileOutcome outcome;
    std::vector<std::pair<std::string, FileOutcome>> dates; // by file path
};

// Makes one call on the file system, on whatever thread runs it.
FileAnswer answerCall(FileSystem& fs, const FileCall& call);

// The reads of a service whose calls are answered later: a read with no
// answer kept asks its call once and pends; answers are kept by the call they
// answer and handed out until forgotten. An answer to a call that was
// forgotten or dropped meanwhile is thrown away.
class DeferredFileService : public FileService {
public:
    explicit DeferredFileService(char separator) : separator_(separator) {}

    char separator() const override { return separator_; }
    bool folderExists(const std::string& path) override;
    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override;
    std::string firstMp3(const std::string& folder) override;
    DateTime dateCreated(const std::string& path) override;
    bool immediate() const override { return false; }

    std::uint64_t mark() const override { return nextTicket_; }
    void forgetBefore(std::uint64_t mark) override;
    void forgetFolder(const std::string& folder) override;
    void dropPending() override;
    void forgetListing(const std::string& folder, ListPattern pattern) override;
    void forgetFailures(const std::string& folder, std::uint64_t mark) override;
    void keepOnly(std::uint64_t mark, const std::vector<std::string>& folders) override;

    // Keeps the answers (on the window thread) and raises answered once.
    void deliver(std::vector<FileAnswer> answers);

protected:
    // Has the call made; its answer comes back through deliver.
    virtual void ask(const FileCall& call) = 0;
    // The calls asked before mark have been dropped; a worker may stop
    // making them.
    virtual void abandonCallsBefore(std::uint64_t /*mark*/) {}

private:
    struct Entry {
        std::uint64_t ticket = 0;
        std::optional<FileOutcome> outcome;
    };
    const FileOutcome& read(FileCall call);
    bool about(const std::string& key, const std::string& folder) const;
    static bool failed(const std::string& key, const Entry& entry);
    std::string fileIn(const std::string& folder, const std::string& name) const;
    bool keep(const std::string& key, std::uint64_t ticket, FileOutcome outcome);

    char separator_;
    std::map<std::string, Entry> entries_;
    std::uint64_t nextTicket_ = 1;
};

// Runs each call on a worker thread and hands its answer to the window thread
// through post (which must run what it is given there, in order, and may be
// called from the worker). One worker at a time takes calls, in the order
// asked. A worker stuck on a share that no longer answers keeps nobody
// waiting: when its call is dropped, a second worker takes the calls still
// wanted. There are never more than two: while both are inside dropped calls,
// the next call waits for whichever comes back first, and a worker that comes
// back takes calls again. The file system is therefore called from two
// threads at once at most, and only while one of them is inside a dropped
// call (see FileSystem). At the end a stuck worker is left to the end of the
// process.
class AsyncFileService final : public DeferredFileService {
public:
    using Post = std::function<void(std::function<void()>)>;
    static constexpr int MostWorkers = 2;

    AsyncFileService(std::shared_ptr<FileSystem> fs, Post post);
    ~AsyncFileService() override;
    AsyncFileService(const AsyncFileService&) = delete;
    AsyncFileService& operator=(const AsyncFileService&) = delete;

    // No answer is handed over any more; calls out are left to their workers.
    void close();

    // How many worker threads have been made so far.
    int workersMade() const;

private:
    struct Workers;
    void ask(const FileCall& call) override;
    void abandonCallsBefore(std::uint64_t mark) override;

    Post post_;
    std::shared_ptr<Workers> workers_;
    std::shared_ptr<AsyncFileService*> self_; // cleared when the service goes
};

} // namespace orvane
