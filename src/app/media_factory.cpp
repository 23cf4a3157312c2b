#include "app/media_factory.h"

namespace orvane {

namespace {

// Accepts every command and never plays: the window works, the speakers stay
// quiet.
class SilentControl : public MMControl {
public:
    void setCommand(const std::string&) override {}
    void setFileName(const std::string&) override {}
    void setNotify(bool) override {}
    void setWait(bool) override {}
    void setShareable(bool) override {}
};

} // namespace

std::unique_ptr<MMControl> makeMediaControl()
{
    return std::make_unique<SilentControl>();
}

} // namespace orvane
