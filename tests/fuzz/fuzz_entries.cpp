#include "fuzz/fuzz_entries.h"

#include "media/gain_tags.h"
#include "media/lame_header.h"
#include "player/control_model.h"
#include "player/place.h"
#include "settings/mod_reg.h"
#include "settings/settings_store.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace orvane::fuzz {

namespace {

std::string textOf(Bytes bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The place's own check (FNV-1a, as sixteen hex digits), so that a body
// changed by the fuzzer still reaches the parser's reading of its lines.
std::string checked(const std::string& body)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : body) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return body + "check=" + digits + "\n";
}

const char* placeRoundTrip(const std::string& text)
{
    const std::optional<Place> place = parsePlace(text);
    if (!place)
        return nullptr;
    if (place->file.empty() || place->positionMs < 0 || (place->sub != 0 && place->sub != 1))
        return "a place read with no file, a negative position or a bad sub";
    const std::optional<Place> again = parsePlace(placeText(*place));
    if (!again || !(*again == *place))
        return "a place read, stored and read again changed";
    return nullptr;
}

class InputRegistry : public Registry {
public:
    explicit InputRegistry(std::map<std::string, std::string>& values) : values_(values) {}
    void write(const std::string& path, const std::string& value) override { values_[path] = value; }
    std::optional<std::string> read(const std::string& path) override
    {
        auto it = values_.find(path);
        if (it == values_.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::map<std::string, std::string>& values_;
};

std::uint32_t bigEndian32(Bytes b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

const char* lameInfoHolds(Bytes head, std::int64_t decodedLength, int decodedRate)
{
    const std::optional<LameInfo> info = readLameInfo(head);
    if (info) {
        static constexpr int rates[] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
        if (std::find(std::begin(rates), std::end(rates), info->sampleRate) == std::end(rates))
            return "a sample rate no MPEG header has";
        if (info->samplesPerFrame != 1152 && info->samplesPerFrame != 576)
            return "a frame length no Layer III frame has";
        if (info->delay < 0 || info->delay > 4095 || info->padding < 0 || info->padding > 4095)
            return "a delay or padding past its 12 bits";
        if (info->soundLength() <= 0)
            return "a header with no sound taken";
    }
    const Trim trim = trimFor(info, decodedLength, decodedRate);
    if (trim.skip < 0 || trim.keep < -1 || (trim.keep == -1 && trim.skip != 0))
        return "a trim that drops less than nothing";
    if (trim.keep >= 0 && !info)
        return "a trim without a header";
    return nullptr;
}

const char* gainFiguresHold(const GainFigures& figures)
{
    if (figures.gain && !(std::fabs(*figures.gain) <= 64.0))
        return "a gain beyond 64 dB";
    if (figures.peak && !(*figures.peak > 0.0 && *figures.peak <= 16.0))
        return "a peak not above 0 or beyond 16";
    return nullptr;
}

const char* gainTagsHold(Bytes head, Bytes tail)
{
    const GainTags tags = readGainTags(head, tail);
    if (const char* broken = gainFiguresHold(tags.track))
        return broken;
    return gainFiguresHold(tags.album);
}

} // namespace

const char* placeText(Bytes bytes)
{
    if (bytes.empty())
        return nullptr;
    const std::string text = textOf(bytes.subspan(1));
    // The first byte chooses: the bytes as stored, or a body whose check is right.
    if (const char* broken = placeRoundTrip((bytes[0] & 1) ? checked("Orvane place 1\n" + text) : text))
        return broken;
    return nullptr;
}

const char* settingsValues(Bytes bytes)
{
    static constexpr const char* names[] = {SettingsKey::Version, SettingsKey::PlayOrder, SettingsKey::Sub,
                                            SettingsKey::Repeat, SettingsKey::PlayPath};
    std::map<std::string, std::string> values;
    const std::string text = textOf(bytes);
    std::size_t start = 0;
    for (const char* name : names) {
        if (start > text.size())
            break;
        const std::size_t end = std::min(text.find('\n', start), text.size());
        values[regPath(name)] = text.substr(start, end - start);
        start = end + 1;
    }
    const std::string storedPath = values[regPath(SettingsKey::PlayPath)];
    const bool sameVersion = values[regPath(SettingsKey::Version)] == versionText();
    SettingsProvider settings([&values] { return std::make_unique<InputRegistry>(values); });
    applyFirstRunRule(settings);
    ControlModel controls;
    loadSettings(settings, controls);
    if (controls.optDate() == controls.optName())
        return "both order buttons, or neither";
    if ((controls.ckSub() != 0 && controls.ckSub() != 1) || (controls.ckRepeat() != 0 && controls.ckRepeat() != 1))
        return "a check box neither checked nor clear";
    if (controls.Text1() != (sameVersion ? storedPath : std::string{}))
        return "the play path box does not show the stored path";
    if (values[regPath(SettingsKey::Version)] != versionText())
        return "the version not written";
    return nullptr;
}

const char* lameHeader(Bytes bytes)
{
    // The first eight bytes: the decoded length and rate to trim for.
    if (bytes.size() < 8)
        return lameInfoHolds(bytes, 0, 44100);
    const std::int64_t length = bigEndian32(bytes, 0);
    static constexpr int rates[] = {44100, 48000, 32000, 22050};
    return lameInfoHolds(bytes.subspan(8), length, rates[bytes[4] & 3]);
}

const char* mp3Frame(Bytes bytes)
{
    // header (4), where the Xing frame goes (1), whether an ID3v2 tag comes
    // first (1), then the Xing frame's figures and the LAME tag.
    if (bytes.size() < 6)
        return nullptr;
    std::vector<unsigned char> head;
    if (bytes[5] & 1) {
        const unsigned char tag[10] = {'I', 'D', '3', 4, 0, static_cast<unsigned char>(bytes[5] & 0x10), 0, 0, 0, 3};
        head.insert(head.end(), tag, tag + 10);
        head.insert(head.end(), {0, 0, 0});
    }
    head.push_back(0xFF);
    head.insert(head.end(), bytes.begin() + 1, bytes.begin() + 4);
    static constexpr std::size_t sideInfoEnds[] = {13, 15, 21, 23, 36, 38};
    head.resize(head.size() - 4 + sideInfoEnds[bytes[4] % 6]);
    const unsigned char* xing = (bytes[4] & 0x80) ? reinterpret_cast<const unsigned char*>("Info")
                                                  : reinterpret_cast<const unsigned char*>("Xing");
    head.insert(head.end(), xing, xing + 4);
    head.insert(head.end(), bytes.begin() + 6, bytes.end());
    return lameInfoHolds(head, static_cast<std::int64_t>(bytes[0]) * 1152, 44100);
}

} // namespace orvane::fuzz

namespace orvane::fuzz {

const char* gainTags(Bytes bytes)
{
    if (const char* broken = gainTagsHold(bytes, bytes))
        return broken;
    if (bytes.empty())
        return nullptr;
    const std::size_t cut = bytes.size() * bytes[0] / 256;
    const std::vector<unsigned char> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::vector<unsigned char> tail(bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end());
    return gainTagsHold(head, tail);
}

} // namespace orvane::fuzz
