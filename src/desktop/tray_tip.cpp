#include "desktop/tray_tip.h"

#include "desktop/tray_handlers.h"

namespace orvane {

namespace {

constexpr const char* Ellipsis = "\xE2\x80\xA6"; // U+2026, one UTF-16 unit

// The length in bytes of the UTF-8 character at text[at], and the UTF-16
// units it takes; a byte that starts no whole character is one of each.
struct Character {
    std::size_t bytes;
    std::size_t units;
};

Character characterAt(const std::string& text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t bytes = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        bytes = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        bytes = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        bytes = 4;
    if (at + bytes > text.size())
        return {1, 1};
    for (std::size_t i = 1; i < bytes; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return {1, 1};
    }
    return {bytes, bytes == 4 ? 2u : 1u};
}

} // namespace

std::string boundedText(const std::string& text, std::size_t mostUtf16Units)
{
    if (mostUtf16Units == 0)
        return text;
    std::size_t units = 0;
    std::size_t fitsWithEllipsis = 0; // bytes that leave a unit for the ellipsis
    for (std::size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        units += c.units;
        if (units > mostUtf16Units)
            return text.substr(0, fitsWithEllipsis) + Ellipsis;
        at += c.bytes;
        if (units < mostUtf16Units)
            fitsWithEllipsis = at;
    }
    return text;
}

std::string trayTipText(PlayState state, const std::string& title, std::size_t mostUtf16Units)
{
    std::string tip = TrayHandlers::Tip;
    if (state != PlayState::Idle && !title.empty())
        tip += "\n" + std::string(state == PlayState::Paused ? "Paused: " : "") + title;
    return boundedText(tip, mostUtf16Units);
}

} // namespace orvane
