#include "platform/file_system.h"

namespace orvane {

bool matchesMp3(std::string_view name)
{
    static constexpr std::string_view ext = ".mp3";
    if (name.size() < ext.size())
        return false;
    const std::string_view tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const char c = tail[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != ext[i])
            return false;
    }
    return true;
}

std::string joinPath(const std::string& folder, const std::string& name, char separator)
{
    if (!folder.empty() && folder.back() == separator)
        return folder + name;
    return folder + separator + name;
}

} // namespace orvane
