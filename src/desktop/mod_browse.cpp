#include "desktop/mod_browse.h"

namespace orvane::modBrowse {

std::string browseResult(const std::string& chosenFolder, char separator)
{
    if (chosenFolder.empty() || chosenFolder.back() == separator)
        return chosenFolder;
    return chosenFolder + separator;
}

} // namespace orvane::modBrowse
