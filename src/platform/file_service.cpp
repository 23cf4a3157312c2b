#include "platform/file_service.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>

namespace orvane {

std::string FileCall::key() const
{
    switch (kind) {
    case Kind::Exists: return "E" + path;
    case Kind::List: return (pattern == ListPattern::All ? "L" : "M") + path;
    case Kind::FirstMp3: return "F" + path;
    case Kind::Date: return "D" + path;
    }
    return path;
}

namespace {

template <class Read>
FileOutcome outcomeOf(Read read)
{
    FileOutcome outcome;
    try {
        read(outcome);
    } catch (...) {
        outcome.error = std::current_exception();
    }
    return outcome;
}

std::string pathIn(const FileSystem& fs, const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == fs.separator())
        return folder + name;
    return folder + fs.separator() + name;
}

} // namespace

FileAnswer answerCall(FileSystem& fs, const FileCall& call)
{
    FileAnswer answer{call, {}, {}};
    const std::string& path = call.path;
    switch (call.kind) {
    case FileCall::Kind::Exists:
        answer.outcome = outcomeOf([&](FileOutcome& o) { o.exists = fs.folderExists(path); });
        break;
    case FileCall::Kind::List:
        answer.outcome = outcomeOf([&](FileOutcome& o) { o.entries = fs.listFolder(path, call.pattern); });
        if (call.pattern == ListPattern::Mp3Files) {
            for (const DirEntry& entry : answer.outcome.entries) {
                const std::string file = pathIn(fs, path, entry.name);
                answer.dates.emplace_back(file, outcomeOf([&](FileOutcome& o) { o.date = fs.dateCreated(file); }));
            }
        }
        break;
    case FileCall::Kind::FirstMp3:
        answer.outcome = outcomeOf([&](FileOutcome& o) { o.name = fs.firstMp3(path); });
        break;
    case FileCall::Kind::Date:
        answer.outcome = outcomeOf([&](FileOutcome& o) { o.date = fs.dateCreated(path); });
        break;
    }
    return answer;
}

// --- DeferredFileService ---------------------------------------------------

const FileOutcome& DeferredFileService::read(FileCall call)
{
    const std::string key = call.key();
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        call.ticket = nextTicket_++;
        entries_[key].ticket = call.ticket;
        ask(call);
        throw FileAnswerPending{};
    }
    if (!it->second.outcome)
        throw FileAnswerPending{};
    if (it->second.outcome->error)
        std::rethrow_exception(it->second.outcome->error);
    return *it->second.outcome;
}

// The synchronous form never throws, so no failure is ever kept for this call.
bool DeferredFileService::folderExists(const std::string& path)
{
    return read({FileCall::Kind::Exists, ListPattern::All, path}).exists;
}

std::vector<DirEntry> DeferredFileService::listFolder(const std::string& folder, ListPattern pattern)
{
    return read({FileCall::Kind::List, pattern, folder}).entries;
}

// The first ".mp3" is the first entry of the folder's ".mp3" listing: where
// that listing is known, the share is not asked a second time, also when the
// listing failed (a folder that cannot be listed has no first file either).
std::string DeferredFileService::firstMp3(const std::string& folder)
{
    auto listed = entries_.find(FileCall{FileCall::Kind::List, ListPattern::Mp3Files, folder}.key());
    if (listed != entries_.end() && listed->second.outcome) {
        if (listed->second.outcome->error)
            std::rethrow_exception(listed->second.outcome->error);
        const std::vector<DirEntry>& files = listed->second.outcome->entries;
        return files.empty() ? std::string{} : files.front().name;
    }
    return read({FileCall::Kind::FirstMp3, ListPattern::All, folder}).name;
}

DateTime DeferredFileService::dateCreated(const std::string& path)
{
    return read({FileCall::Kind::Date, ListPattern::All, path}).date;
}

void DeferredFileService::forgetBefore(std::uint64_t mark)
{
    bool callsOut = false;
    std::erase_if(entries_, [mark, &callsOut](const auto& item) {
        if (item.second.ticket >= mark)
            return false;
        callsOut = callsOut || !item.second.outcome;
        return true;
    });
    if (callsOut)
        abandonCallsBefore(mark);
}

// Whether an entry's key is about folder: a read of the folder itself, or the
// date of a file right inside it.
bool DeferredFileService::about(const std::string& key, const std::string& folder) const
{
    const std::string_view path = std::string_view(key).substr(1);
    if (key.front() != 'D')
        return path == folder;
    if (path.size() <= folder.size() || path.substr(0, folder.size()) != folder)
        return false;
    std::string_view name = path.substr(folder.size());
    if (folder.empty() || folder.back() != separator_) {
        if (name.front() != separator_)
            return false;
        name.remove_prefix(1);
    }
    return !name.empty() && name.find(separator_) == std::string_view::npos;
}

std::string DeferredFileService::fileIn(const std::string& folder, const std::string& name) const
{
    if (!folder.empty() && folder.back() == separator_)
        return folder + name;
    return folder + separator_ + name;
}

void DeferredFileService::forgetListing(const std::string& folder, ListPattern pattern)
{
    const auto listed = entries_.find(FileCall{FileCall::Kind::List, pattern, folder}.key());
    if (listed == entries_.end() || !listed->second.outcome)
        return;
    if (pattern == ListPattern::Mp3Files) {
        for (const DirEntry& entry : listed->second.outcome->entries)
            entries_.erase(FileCall{FileCall::Kind::Date, ListPattern::All, fileIn(folder, entry.name)}.key());
        entries_.erase(FileCall{FileCall::Kind::FirstMp3, ListPattern::All, folder}.key());
    }
    entries_.erase(listed);
}

// A failure, or a folder found missing: both are what a share's hiccup gives.
bool DeferredFileService::failed(const std::string& key, const Entry& entry)
{
    return entry.outcome && (entry.outcome->error || (key.front() == 'E' && !entry.outcome->exists));
}

// Looked up by their keys, so that it costs the same however much is kept.
void DeferredFileService::forgetFailures(const std::string& folder, std::uint64_t mark)
{
    const auto forget = [&](const std::string& key) {
        const auto it = entries_.find(key);
        if (it != entries_.end() && it->second.ticket < mark && failed(it->first, it->second))
            entries_.erase(it);
    };
    const auto listed = entries_.find(FileCall{FileCall::Kind::List, ListPattern::Mp3Files, folder}.key());
    if (listed != entries_.end() && listed->second.outcome && !listed->second.outcome->error) {
        for (const DirEntry& entry : listed->second.outcome->entries)
            forget(FileCall{FileCall::Kind::Date, ListPattern::All, fileIn(folder, entry.name)}.key());
    }
    for (FileCall::Kind kind : {FileCall::Kind::Exists, FileCall::Kind::List, FileCall::Kind::FirstMp3})
        forget(FileCall{kind, ListPattern::All, folder}.key());
    forget(FileCall{FileCall::Kind::List, ListPattern::Mp3Files, folder}.key());
}

// A call still out since mark about another folder is let run: its answer
// is thrown away, as nobody waits for it any more.
void DeferredFileService::keepOnly(std::uint64_t mark, const std::vector<std::string>& folders)
{
    forgetBefore(mark);
    std::erase_if(entries_, [&](const auto& item) {
        if (failed(item.first, item.second))
            return true;
        return std::none_of(folders.begin(), folders.end(), [&](const std::string& f) { return about(item.first, f); });
    });
}

void DeferredFileService::forgetFolder(const std::string& folder)
{
    for (ListPattern pattern : {ListPattern::All, ListPattern::Mp3Files})
        entries_.erase(FileCall{FileCall::Kind::List, pattern, folder}.key());
    entries_.erase(FileCall{FileCall::Kind::FirstMp3, ListPattern::All, folder}.key());
    entries_.erase(FileCall{FileCall::Kind::Exists, ListPattern::All, folder}.key());
}

void DeferredFileService::dropPending()
{
    const auto before = entries_.size();
    std::erase_if(entries_, [](const auto& item) { return !item.second.outcome; });
    if (entries_.size() != before)
        abandonCallsBefore(nextTicket_);
}

// Only the asking the entry waits for may fill it; a date read along with a
// listing fills its entry unless a call of its own is out for it.
bool DeferredFileService::keep(const std::string& key, std::uint64_t ticket, FileOutcome outcome)
{
    auto it = entries_.find(key);
    if (it == entries_.end() || it->second.ticket != ticket || it->second.outcome)
        return false;
    it->second.outcome = std::move(outcome);
    return true;
}

void DeferredFileService::deliver(std::vector<FileAnswer> answers)
{
    bool kept = false;
    for (FileAnswer& answer : answers) {
        const std::uint64_t ticket = answer.call.ticket;
        if (!keep(answer.call.key(), ticket, std::move(answer.outcome)))
            continue;
        kept = true;
        for (auto& [file, outcome] : answer.dates) {
            const std::string key = FileCall{FileCall::Kind::Date, ListPattern::All, file}.key();
            auto it = entries_.find(key);
            if (it == entries_.end() || it->second.outcome)
                entries_[key] = Entry{ticket, std::move(outcome)};
        }
    }
    if (kept)
        raiseAnswered();
}

// --- AsyncFileService ------------------------------------------------------

// The calls waiting and the (at most two) threads that make them. Each thread
// holds this (and through it the file system) for as long as it runs, so
// neither goes while it is inside a call.
struct AsyncFileService::Workers {
    struct Hand {
        bool inCall = false;
        bool dropped = false;      // its call was dropped: its answer is nobody's
        std::uint64_t ticket = 0;  // of the call it is in
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<FileCall> calls;
    std::deque<Hand> hands; // one per thread, never moved (a deque keeps them in place)
    bool stop = false;
    std::shared_ptr<FileSystem> fs;
    Post post; // cleared under the mutex when nobody may be told any more
    std::shared_ptr<AsyncFileService*> owner;

    // Under the mutex: a thread may take the next call when no other is
    // inside a call still wanted, so that calls are made one after another.
    bool wantedCallOut() const
    {
        return std::any_of(hands.begin(), hands.end(), [](const Hand& h) { return h.inCall && !h.dropped; });
    }
    bool handFree() const
    {
        return std::any_of(hands.begin(), hands.end(), [](const Hand& h) { return !h.inCall; });
    }
    // Under the mutex: a thread for the calls waiting when every thread is
    // inside a dropped call, as far as the bound allows.
    void staffUp(const std::shared_ptr<Workers>& self)
    {
        if (calls.empty() || handFree() || wantedCallOut() || hands.size() >= MostWorkers)
            return;
        hands.emplace_back();
        std::thread(run, self, &hands.back()).detach();
    }

    static void run(std::shared_ptr<Workers> self, Hand* hand);
};

void AsyncFileService::Workers::run(std::shared_ptr<Workers> self, Hand* hand)
{
    std::unique_lock lock(self->mutex);
    for (;;) {
        self->wake.wait(lock, [&] { return self->stop || (!self->calls.empty() && !self->wantedCallOut()); });
        if (self->stop)
            return;
        FileCall call = std::move(self->calls.front());
        self->calls.pop_front();
        *hand = Hand{true, false, call.ticket};
        lock.unlock();
        FileAnswer answer = answerCall(*self->fs, call);
        lock.lock();
        const bool wanted = !hand->dropped;
        *hand = Hand{};
        self->wake.notify_all(); // the other thread may take calls now
        if (self->stop || !self->post)
            return;
        if (wanted) {
            self->post([owner = self->owner, answer = std::move(answer)]() mutable {
                if (*owner)
                    (*owner)->deliver({std::move(answer)});
            });
        }
    }
}

AsyncFileService::AsyncFileService(std::shared_ptr<FileSystem> fs, Post post)
    : DeferredFileService(fs->separator())
    , post_(std::move(post))
    , workers_(std::make_shared<Workers>())
    , self_(std::make_shared<AsyncFileService*>(this))
{
    workers_->fs = std::move(fs);
    workers_->post = post_;
    workers_->owner = self_;
}

AsyncFileService::~AsyncFileService()
{
    close();
    *self_ = nullptr;
}

void AsyncFileService::close()
{
    post_ = nullptr; // closed before anything was asked too
    std::lock_guard lock(workers_->mutex);
    workers_->stop = true;
    workers_->post = nullptr;
    workers_->calls.clear();
    workers_->wake.notify_all();
}

int AsyncFileService::workersMade() const
{
    std::lock_guard lock(workers_->mutex);
    return static_cast<int>(workers_->hands.size());
}

void AsyncFileService::ask(const FileCall& call)
{
    if (!post_)
        return; // closed: nothing is answered any more
    std::lock_guard lock(workers_->mutex);
    workers_->calls.push_back(call);
    workers_->staffUp(workers_);
    workers_->wake.notify_all();
}

// A worker inside a call may stay there for good (a share gone): when that
// call is dropped, the worker is left to finish it on its own and comes back
// for more, and the calls still wanted go to the other worker.
void AsyncFileService::abandonCallsBefore(std::uint64_t mark)
{
    std::lock_guard lock(workers_->mutex);
    std::erase_if(workers_->calls, [mark](const FileCall& call) { return call.ticket < mark; });
    for (Workers::Hand& hand : workers_->hands) {
        if (hand.inCall && hand.ticket < mark)
            hand.dropped = true;
    }
    workers_->staffUp(workers_);
    workers_->wake.notify_all();
}

} // namespace orvane
