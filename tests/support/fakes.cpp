#include "support/fakes.h"

#include <algorithm>
#include <stdexcept>

namespace orvane::test {

std::vector<std::string> FakeMMControl::opened() const
{
    std::vector<std::string> files;
    std::string name;
    for (const auto& entry : log) {
        if (entry.rfind("FileName=", 0) == 0)
            name = entry.substr(9);
        else if (entry == "Command=Open")
            files.push_back(name);
    }
    return files;
}

std::vector<std::string> FakeMMControl::starts() const
{
    std::vector<std::string> out;
    for (const auto& entry : log) {
        if (entry == "Command=Open")
            out.push_back("none");
        else if (entry.rfind("StartAt=", 0) == 0 && !out.empty())
            out.back() = entry.substr(8);
    }
    return out;
}

std::vector<std::string> FakeMMControl::commands() const
{
    std::vector<std::string> out;
    for (const auto& entry : log)
        if (entry.rfind("Command=", 0) == 0)
            out.push_back(entry.substr(8));
    return out;
}

void FakeUi::yield()
{
    ++yields;
    auto it = actions.find(yields);
    if (it != actions.end()) {
        auto action = std::move(it->second);
        actions.erase(it);
        action();
    }
}

void FakeUi::runPosted()
{
    while (!posted.empty()) {
        auto call = std::move(posted.front());
        posted.erase(posted.begin());
        call();
    }
}

std::string FakeFileSystem::normal(const std::string& path) const
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

void FakeFileSystem::addFolder(const std::string& path)
{
    std::lock_guard lock(mutex_);
    const std::string p = normal(path);
    if (nodes_.count(p))
        return;
    nodes_[p].folder = true;
    if (p == "/")
        return;
    const auto cut = p.find_last_of('/');
    const std::string parent = cut == 0 ? "/" : p.substr(0, cut);
    addFolder(parent);
    nodes_[parent].children.push_back(p.substr(cut + 1));
}

void FakeFileSystem::addFile(const std::string& path, int day)
{
    std::lock_guard lock(mutex_);
    const auto cut = path.find_last_of('/');
    const std::string parent = cut == 0 ? "/" : path.substr(0, cut);
    addFolder(parent);
    if (!nodes_.count(path))
        nodes_[parent].children.push_back(path.substr(cut + 1));
    nodes_[path].folder = false;
    nodes_[path].created = DateTime{} + std::chrono::hours(24 * day);
}

void FakeFileSystem::remove(const std::string& path)
{
    std::lock_guard lock(mutex_);
    const std::string p = normal(path);
    const auto cut = p.find_last_of('/');
    const std::string parent = cut == 0 ? "/" : p.substr(0, cut);
    auto& siblings = nodes_[parent].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), p.substr(cut + 1)), siblings.end());
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->first == p || it->first.rfind(p + "/", 0) == 0)
            it = nodes_.erase(it);
        else
            ++it;
    }
}

bool FakeFileSystem::folderExists(const std::string& path)
{
    std::lock_guard lock(mutex_);
    if (clock)
        *clock += callCost;
    auto it = nodes_.find(normal(path));
    return !path.empty() && it != nodes_.end() && it->second.folder;
}

std::vector<DirEntry> FakeFileSystem::listFolder(const std::string& folder, ListPattern pattern)
{
    std::lock_guard lock(mutex_);
    const std::string p = normal(folder);
    listings.push_back(p);
    if (clock)
        *clock += callCost;
    auto it = nodes_.find(p);
    if (it == nodes_.end() || !it->second.folder || unreadable.count(p))
        throw FileSystemError("cannot list " + folder);
    std::vector<DirEntry> entries;
    if (listsDots && pattern == ListPattern::All)
        entries = {{".", AttrDirectory}, {"..", AttrDirectory}};
    for (const auto& name : it->second.children) {
        if (name.empty() || name[0] == '.')
            continue;
        const bool isFolder = nodes_.at(p == "/" ? "/" + name : p + "/" + name).folder;
        if (pattern == ListPattern::Mp3Files && (isFolder || !matchesMp3(name)))
            continue;
        entries.push_back({name, isFolder ? AttrDirectory : 0u});
    }
    return entries;
}

std::string FakeFileSystem::firstMp3(const std::string& folder)
{
    auto files = listFolder(folder, ListPattern::Mp3Files);
    return files.empty() ? std::string{} : files.front().name;
}

DateTime FakeFileSystem::dateCreated(const std::string& path)
{
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(path);
    if (it == nodes_.end() || it->second.folder)
        throw FileSystemError("no file " + path);
    return it->second.created;
}

RegistryFactory MemoryStore::factory()
{
    return [this] { return std::make_unique<MemoryRegistry>(*this); };
}

// The place is written from a writer thread of its own while the window
// thread stores the settings into the same registry, which the system's
// registry bears; so does this one.
namespace {
std::mutex registryMutex;
}

void MemoryRegistry::write(const std::string& path, const std::string& value)
{
    std::lock_guard lock(registryMutex);
    if (store_.failWrites)
        throw std::runtime_error("read-only");
    store_.values[path] = value;
    store_.writes.push_back(path.substr(path.rfind('\\') + 1) + "=" + value);
}

std::optional<std::string> MemoryRegistry::read(const std::string& path)
{
    std::lock_guard lock(registryMutex);
    if (store_.failReads)
        throw std::runtime_error("unreadable");
    auto it = store_.values.find(path);
    if (it == store_.values.end())
        return std::nullopt;
    return it->second;
}

std::size_t SlowFileService::answer()
{
    std::vector<FileAnswer> answers;
    std::vector<FileCall> left;
    for (FileCall& call : out) {
        if (isGone(call))
            left.push_back(std::move(call));
        else
            answers.push_back(answerCall(fs_, call));
    }
    out = std::move(left);
    const std::size_t count = answers.size();
    if (count > 0)
        deliver(std::move(answers));
    return count;
}

void SlowFileService::answerAll()
{
    while (answer() > 0) {
    }
}

} // namespace orvane::test
