// The place a sequence has got to: kept while it runs, stored through the
// program's own store, and found again by a later Play or start.
#include "player/place.h"

#include "player/player.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <utility>

namespace orvane {

namespace {

constexpr const char* Header = "Orvane place 1";

// Every byte outside printable ASCII, and '%', as %XX: a path of any bytes
// (a newline in a file name included) fits on one line of any store.
std::string escaped(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescaped(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// FNV-1a: enough to tell a copy that lost or changed a byte.
std::string checkOf(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

// The whole text as a number, one that fits: a value out of range is no value
// rather than one wrapped round.
std::optional<std::int64_t> number(const std::string& text)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

std::optional<bool> flag(const std::optional<std::int64_t>& n)
{
    if (!n || (*n != 0 && *n != 1))
        return std::nullopt;
    return *n == 1;
}

std::int64_t microsOf(DateTime t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// Microseconds as a time of the clock, when the clock reaches that far.
std::optional<DateTime> timeOf(std::int64_t micros)
{
    constexpr DateTime::rep perMicro = DateTime::duration(std::chrono::microseconds(1)).count();
    DateTime::rep ticks = 0;
    if (__builtin_mul_overflow(micros, perMicro, &ticks))
        return std::nullopt;
    return DateTime(DateTime::duration(ticks));
}

// Whether entry comes after the file of place in the folder's play order.
bool follows(const PlayListEntry& entry, const Place& place, bool dateOrder)
{
    if (dateOrder && microsOf(entry.created) != microsOf(place.created))
        return microsOf(entry.created) > microsOf(place.created);
    return lessNoCase(place.file, entry.path);
}

} // namespace

std::string placeText(const Place& place)
{
    std::string body = std::string(Header) + "\n";
    auto line = [&body](const char* key, const std::string& value) { body += std::string(key) + "=" + value + "\n"; };
    line("path", escaped(place.playPath));
    line("order", place.dateOrder ? "1" : "2");
    line("sub", std::to_string(place.sub));
    line("folder", escaped(place.folder));
    line("file", escaped(place.file));
    line("created", std::to_string(microsOf(place.created)));
    line("position", std::to_string(place.positionMs));
    line("paused", place.paused ? "1" : "0");
    line("running", place.running ? "1" : "0");
    line("byitself", place.byItself ? "1" : "0");
    line("passfile", place.passFile ? "1" : "0");
    if (place.round) {
        line("seed", std::to_string(place.round->seed));
        line("first", escaped(place.round->first));
    }
    return body + "check=" + checkOf(body) + "\n";
}

std::optional<Place> parsePlace(const std::string& text)
{
    const std::size_t checkAt = text.rfind("check=");
    if (checkAt == std::string::npos || text.compare(0, std::string(Header).size() + 1, std::string(Header) + "\n") != 0)
        return std::nullopt;
    const std::string body = text.substr(0, checkAt);
    if (text.substr(checkAt) != "check=" + checkOf(body) + "\n")
        return std::nullopt;

    std::map<std::string, std::string> values;
    std::size_t start = std::string(Header).size() + 1;
    while (start < body.size()) {
        const std::size_t end = body.find('\n', start);
        const std::string line = body.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    auto numberOf = [&values](const char* key) { return number(values[key]); };
    const auto playPath = unescaped(values["path"]);
    const auto folder = unescaped(values["folder"]);
    const auto file = unescaped(values["file"]);
    const auto order = numberOf("order");
    const auto sub = flag(numberOf("sub"));
    const auto micros = numberOf("created");
    const auto created = micros ? timeOf(*micros) : std::nullopt;
    const auto position = numberOf("position");
    const auto paused = flag(numberOf("paused"));
    const auto running = flag(numberOf("running"));
    const auto byItself = flag(numberOf("byitself"));
    const auto passFile = flag(numberOf("passfile"));
    // A round of shuffled folders: its seed and first folder; a place without
    // them plays in path order.
    std::optional<ShuffledRound> round;
    if (values.count("seed") != 0 || values.count("first") != 0) {
        const auto first = unescaped(values["first"]);
        std::uint64_t seed = 0;
        const std::string& seedText = values["seed"];
        const auto [stop, error] = std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed);
        if (!first || first->empty() || error != std::errc{} || stop != seedText.data() + seedText.size())
            return std::nullopt;
        round = ShuffledRound{seed, *first};
    }
    if (!playPath || !folder || !file || file->empty() || !order || (*order != 1 && *order != 2) || !sub
        || !created || !position || *position < 0 || !paused || !running || !byItself || !passFile)
        return std::nullopt;

    Place place;
    place.playPath = *playPath;
    place.dateOrder = *order == 1;
    place.sub = *sub ? 1 : 0;
    place.folder = *folder;
    place.file = *file;
    place.created = *created;
    place.positionMs = *position;
    place.paused = *paused;
    place.running = *running;
    place.byItself = *byItself;
    place.passFile = *passFile;
    place.round = round;
    return place;
}

void PlaceKeeper::keepIn(PlaceStore* store)
{
    store_ = store;
    stored_.reset();
    if (!store_)
        return;
    try {
        stored_ = parsePlace(store_->load());
    } catch (const std::exception&) {
        // Unreadable: the start is the ordinary one.
    }
}

std::optional<Place> PlaceKeeper::toPlayOnByItself(const std::function<bool(const std::string&)>& reachable)
{
    if (!stored_ || !stored_->running)
        return std::nullopt;
    Place place = *stored_;
    if (place.byItself) {
        // It ended abnormally again on the file it was played on from: it
        // plays on by itself no more (what else it says is read only then),
        // and Play goes on after that file.
        place.running = false;
        place.passFile = true;
        store(place);
        return std::nullopt;
    }
    if (!reachable(place.playPath))
        return std::nullopt; // kept for a start that can reach it
    // Paused, it opens nothing until the user's Play: no file of it can end
    // the program before then.
    place.byItself = !place.paused;
    store(place);
    return place;
}

const Place* PlaceKeeper::goesOnFrom(const std::string& playPath, bool dateOrder, int sub, bool shuffled) const
{
    if (!stored_ || stored_->playPath != playPath || stored_->dateOrder != dateOrder || stored_->sub != sub
        || stored_->round.has_value() != shuffled)
        return nullptr;
    return &*stored_;
}

void PlaceKeeper::sequenceStarts(const std::string& playPath, bool dateOrder, int sub, bool quiet, bool byItself,
                                 const std::optional<ShuffledRound>& round)
{
    // The place of the file heard last stays live until the sequence opens
    // one (only the next round of a repeated tree comes here with one): the
    // program's end meanwhile is kept with it.
    dropWay();
    sequence_.playPath = playPath;
    sequence_.dateOrder = dateOrder;
    sequence_.sub = sub;
    sequence_.round = round;
    if (quiet || !stored_)
        return;
    if (!goesOnFrom(playPath, dateOrder, sub, round.has_value()) || stored_->round != round) {
        forget(); // made with other choices: a new start
        return;
    }
    target_ = stored_;
    byItself_ = byItself && stored_->byItself;
}

std::int64_t PlaceKeeper::steer(const std::string& folder, const std::vector<PlayListEntry>& list, bool dateOrder)
{
    const auto n = static_cast<std::int64_t>(list.size());
    const Place target = *target_;
    if (folder != target.folder) {
        if (target.round ? playsBefore(*target.round, folder, target.folder) : lessNoCase(folder, target.folder))
            return n; // not there yet
        return 0; // its folder is gone: the next one plays
    }
    target_.reset();
    const auto at = std::find_if(list.begin(), list.end(), [&target](const PlayListEntry& e) { return e.path == target.file; });
    // A file made anew under the same name (an episode downloaded again) is
    // not the one heard: that one is gone, and what would have followed it
    // plays, the new file of its name from its start.
    if (at == list.end() || microsOf(at->created) != microsOf(target.created))
        return std::find_if(list.begin(), list.end(), [&](const PlayListEntry& e) {
                   return e.path == target.file || follows(e, target, dateOrder);
               }) - list.begin();
    if (target.passFile)
        return at - list.begin() + 1;
    if (target.positionMs > PlayOnBeforeMs)
        startAtMs_ = target.positionMs - PlayOnBeforeMs;
    return at - list.begin();
}

void PlaceKeeper::opening(const std::string& folder, const PlayListEntry& entry)
{
    target_.reset();
    const std::int64_t reachedMs = takeLost(entry.path);
    Place place = sequence_;
    place.folder = folder;
    place.file = entry.path;
    place.created = entry.created;
    place.positionMs = reachedMs > 0 ? reachedMs : startAtMs_.value_or(0);
    if (startAtMs_)
        control_.setStartPosition(static_cast<double>(*startAtMs_) / 1000.0);
    startAtMs_.reset();
    place.running = true;
    place.byItself = byItself_;
    byItself_ = false;
    live_ = place;
    storedAt_ = static_cast<double>(place.positionMs) / 1000.0;
    store(place);
}

// The position a file that lost its device has reached, when this opening
// tries it again; it then starts a little before, as a place played on does.
// 0 for any other opening, after which nothing lost is remembered.
std::int64_t PlaceKeeper::takeLost(const std::string& file)
{
    if (!std::exchange(lostDue_, false) || !lost_ || lost_->file != file) {
        lost_.reset();
        return 0;
    }
    if (lost_->positionMs > PlayOnBeforeMs)
        startAtMs_ = lost_->positionMs - PlayOnBeforeMs;
    return lost_->positionMs;
}

void PlaceKeeper::deviceLost()
{
    if (!live_)
        return;
    takePosition();
    if (!lost_ || lost_->file != live_->file)
        lost_ = live_;
    lost_->positionMs = std::max(lost_->positionMs, live_->positionMs);
    live_->positionMs = lost_->positionMs;
    lostDue_ = true;
    store(*live_);
}

void PlaceKeeper::takePosition()
{
    const double seconds = control_.position();
    if (seconds >= 0.0 && live_)
        live_->positionMs = std::llround(seconds * 1000.0);
}

void PlaceKeeper::pauseChanged(bool paused)
{
    if (!live_)
        return;
    takePosition();
    live_->paused = paused;
    store(*live_);
}

void PlaceKeeper::tick()
{
    if (!live_ || live_->paused)
        return;
    const double seconds = control_.position();
    if (seconds < 0.0)
        return;
    // Noted at every tick: a control that loses its device knows nothing of
    // the position any more by the time it says so.
    live_->positionMs = std::llround(seconds * 1000.0);
    if (std::fabs(seconds - storedAt_) < StoreEverySeconds)
        return;
    storedAt_ = seconds;
    store(*live_);
}

// What a sequence found its way with: none of it outlives the sequence.
void PlaceKeeper::dropWay()
{
    target_.reset();
    startAtMs_.reset();
    lost_.reset(); // without it, whether it is due counts for nothing
    byItself_ = false;
}

void PlaceKeeper::forget()
{
    dropWay();
    live_.reset();
    if (!stored_)
        return;
    stored_.reset();
    if (!store_)
        return;
    try {
        store_->forget();
    } catch (const std::exception&) {
        // Still stored: a later Play with other choices forgets it again.
    }
}

void PlaceKeeper::programEnds(bool closedByUser)
{
    if (live_) {
        takePosition();
        live_->running = !closedByUser;
        store(*live_);
    } else if (closedByUser && stored_ && stored_->byItself) {
        // Closed before the place played on by itself was reached: nothing
        // of it was heard, so nothing of it ended the program.
        Place place = *stored_;
        place.running = false;
        place.byItself = false;
        store(place);
    }
}

void PlaceKeeper::store(const Place& place)
{
    stored_ = place;
    if (!store_)
        return;
    try {
        store_->save(placeText(place));
    } catch (const std::exception&) {
        // The store cannot be written now; the next change tries again.
    }
}

bool Player::playOnByItself()
{
    // What the user has asked for meanwhile (a Play whose start waits for
    // the file system) is never taken over.
    if (PlayOn == 1 || start_.stage() != StartState::Stage::None)
        return false;
    bool pending = false;
    const std::optional<Place> place = place_.toPlayOnByItself([this, &pending](const std::string& path) {
        try {
            return fs_.folderExists(path);
        } catch (const FileAnswerPending&) {
            pending = true; // asked: tried again once the answer has come
            return false;
        }
    });
    if (pending)
        start_.checkPlace();
    if (!place)
        return false;
    // The place's own choices: a play path typed in the run that ended was
    // never stored with the settings.
    controls_.setText1(place->playPath);
    controls_.setOptDate(place->dateOrder);
    controls_.setOptName(!place->dateOrder);
    controls_.setCkSub(place->sub);
    controls_.setShuffle(place->round.has_value());
    newStart(false, true, place->paused);
    return PlayOn == 1;
}

} // namespace orvane
