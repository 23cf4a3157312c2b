#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace orvane {

// A file as it was when it was seen to play or to fail: any write changes
// its change time, so a file that compares equal has not been touched since.
struct FileState {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedSec = 0, modifiedNsec = 0;
    int64_t changedSec = 0, changedNsec = 0;
    bool operator==(const FileState&) const = default;

    // Nothing when the path names nothing.
    static std::optional<FileState> of(const std::string& path);
};

// What was found of each file handed to the player: one that failed is not
// handed to it again, one that played is queued without a new check, as long
// as neither has changed.
class FileVerdicts {
public:
    // Whether the file was seen to play or to fail as it is now; nothing when
    // it was not, or has changed since.
    std::optional<bool> known(const std::string& path, const std::optional<FileState>& file) const;
    void note(const std::string& path, const std::optional<FileState>& file, bool plays);

private:
    struct Verdict {
        FileState file;
        bool plays = false;
    };
    std::map<std::string, Verdict> verdicts_;
};

} // namespace orvane
