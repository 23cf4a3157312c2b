// A folder or file from outside the window: what it names, and how the
// player plays it as Play would after it was typed into the play path box.
#include "player/play_start.h"

#include "player/player.h"

#include <utility>
#include <vector>

namespace orvane {

namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// An absolute path's root (with its separator) and what follows it; an
// empty root for a relative path. A Windows path that starts with one
// separator has the root "\", which stands for the current drive's.
std::pair<std::string, std::string_view> splitRoot(std::string_view path, char separator)
{
    const std::string sep(1, separator);
    if (separator != '\\')
        return path.starts_with(separator) ? std::pair{sep, path.substr(1)} : std::pair{std::string(), path};
    if (path.size() >= 2 && path[0] == separator && path[1] == separator) {
        // \\server\share\ is one root: ".." never leaves it.
        std::size_t end = path.find(separator, 2);
        end = end == std::string_view::npos ? end : path.find(separator, end + 1);
        if (end == std::string_view::npos)
            return {std::string(path) + sep, {}};
        return {std::string(path.substr(0, end + 1)), path.substr(end + 1)};
    }
    if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') {
        const std::size_t rest = path.size() > 2 && path[2] == separator ? 3 : 2;
        return {std::string(path.substr(0, 2)) + sep, path.substr(rest)};
    }
    if (path.starts_with(separator))
        return {sep, path.substr(1)};
    return {std::string(), path};
}

std::string withNativeSeparators(std::string_view path, char separator)
{
    std::string out(path);
    if (separator == '\\') {
        for (char& c : out)
            c = c == '/' ? '\\' : c;
    }
    return out;
}

// Windows names differ by their letters' case alone: the file named is the
// one its folder lists, however the case was typed.
bool sameName(const std::string& listed, const std::string& named, char separator)
{
    if (separator != '\\' || listed.size() != named.size())
        return listed == named;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (lowerAscii(listed[i]) != lowerAscii(named[i]))
            return false;
    }
    return true;
}

} // namespace

std::string absolutePath(std::string_view path, std::string_view currentFolder, char separator)
{
    if (path.empty())
        return {};
    const std::string native = withNativeSeparators(path, separator);
    auto [root, rest] = splitRoot(native, separator);
    std::string joined;
    if (root.empty() || root == std::string(1, separator)) {
        const std::string current = withNativeSeparators(currentFolder, separator);
        const auto [currentRoot, currentRest] = splitRoot(current, separator);
        joined = root.empty() ? std::string(currentRest) + separator + std::string(rest) : std::string(rest);
        root = currentRoot;
        rest = joined;
    }
    std::vector<std::string_view> steps;
    while (!rest.empty()) {
        const std::size_t cut = rest.find(separator);
        const std::string_view step = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (step == "..") {
            if (!steps.empty())
                steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
    }
    std::string out = root;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i > 0)
            out += separator;
        out += steps[i];
    }
    return out;
}

std::optional<PlayStart> resolvePlayStart(FileSystem& fs, const std::string& path)
{
    if (path.empty())
        return std::nullopt;
    if (fs.folderExists(path))
        return PlayStart{path, {}};
    const char separator = fs.separator();
    const std::size_t cut = path.find_last_of(separator);
    if (cut == std::string::npos || !matchesMp3(std::string_view(path).substr(cut + 1)))
        return std::nullopt;
    std::string folder = path.substr(0, cut);
    if (folder.empty() || folder.back() == ':')
        folder += separator; // a root keeps its separator
    const std::string name = path.substr(cut + 1);
    try {
        for (const DirEntry& entry : fs.listFolder(folder, ListPattern::Mp3Files)) {
            if (sameName(entry.name, name, separator))
                return PlayStart{folder, joinPath(folder, entry.name, separator)};
        }
    } catch (const FileSystemError&) {
        // A folder that cannot be listed has no file to play.
    }
    return std::nullopt;
}

} // namespace orvane

namespace orvane {

void Player::playRequested(const std::string& path, RequestAnswer answer)
{
    dropRequest(); // a newer one replaces one still waiting for its answers
    request_ = Request{path, std::move(answer)};
    takeRequest();
}

void Player::dropRequest()
{
    if (std::optional<Request> dropped = std::exchange(request_, std::nullopt); dropped && dropped->answer)
        dropped->answer(false);
}

// True when the request has made a new start; false when it was refused or
// waits for the file system still.
bool Player::takeRequest()
{
    std::optional<PlayStart> start;
    try {
        start = resolvePlayStart(fs_, request_->path);
    } catch (const FileAnswerPending&) {
        return false; // asked: tried again as the answers come
    }
    const Request request = *std::exchange(request_, std::nullopt);
    if (!start) {
        if (request.answer)
            request.answer(false);
        else
            refuseRequest(request.path);
        return false;
    }
    refused_.reset();
    // The sequence under way ends as a Stop ends it; one stopped keeps its
    // place, which this start replaces (or plays on from, as Play would).
    if (PlayOn == 1)
        cmdStop_Click();
    controls_.setText1(start->playPath);
    place_.startsAt(start->playPath, start->startFile);
    newStart();
    if (request.answer)
        request.answer(true);
    return true;
}

// As a typed path that is not there: the play path box shows it while the
// error box is up. A running sequence (or a start waiting for the file
// system) goes on, and gets its own play path back in the box; stopped, the
// box keeps the path for the user to mend, though the settings keep the one
// chosen before.
void Player::refuseRequest(const std::string& path)
{
    const std::string before = refused_ ? refused_->before : controls_.Text1();
    controls_.setText1(path);
    pathRefused_.notify(path);
    ui_.messageBox(PathErrorText, UiHost::MsgBoxExclamation, PathErrorTitle);
    if (controls_.Text1() != path)
        return; // a start made meanwhile has put its own play path there
    if (PlayOn == 1 || start_.stage() != StartState::Stage::None) {
        // The box names the play path of what plays, or of a start waiting.
        controls_.setText1(before);
        return;
    }
    refused_ = Refused{path, before};
}

std::string Player::playPathToStore() const
{
    if (refused_ && controls_.Text1() == refused_->shown)
        return refused_->before;
    return controls_.Text1();
}

} // namespace orvane
