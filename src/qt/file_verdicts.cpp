#include "qt/file_verdicts.h"

#include <sys/stat.h>

namespace orvane {

namespace {

// Files whose verdict is kept; a longer list starts again from nothing.
constexpr std::size_t VerdictLimit = 4096;

} // namespace

std::optional<FileState> FileState::of(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileState{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                     static_cast<int64_t>(info.st_size), info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                     info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

std::optional<bool> FileVerdicts::known(const std::string& path, const std::optional<FileState>& file) const
{
    const auto found = verdicts_.find(path);
    if (!file || found == verdicts_.end() || !(found->second.file == *file))
        return std::nullopt;
    return found->second.plays;
}

void FileVerdicts::note(const std::string& path, const std::optional<FileState>& file, bool plays)
{
    if (!file)
        return;
    if (verdicts_.size() >= VerdictLimit)
        verdicts_.clear();
    verdicts_[path] = {*file, plays};
}

} // namespace orvane
