#include "win32/traced_control.h"

#include "platform/win_api.h"
#include "win32/win_window.h"

namespace orvane {

TracedControl::TracedControl(std::unique_ptr<MMControl> inner, std::FILE* log)
    : inner_(std::move(inner))
    , log_(log)
{
    inner_->setDoneHandler([this](int code) {
        write("Done " + std::to_string(code));
        raiseDone(code);
    });
}

TracedControl::~TracedControl()
{
    inner_->setDoneHandler(nullptr);
    std::fclose(log_);
}

std::unique_ptr<MMControl> TracedControl::wrapFromEnvironment(std::unique_ptr<MMControl> inner)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ORVANE_TRACE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return inner;
    std::FILE* log = _wfopen(path, L"ab");
    if (!log)
        return inner;
    return std::make_unique<TracedControl>(std::move(inner), log);
}

void TracedControl::setCommand(const std::string& command)
{
    write(command);
    inner_->setCommand(command);
}

void TracedControl::setFileName(const std::string& path)
{
    write("FileName " + path);
    inner_->setFileName(path);
}

void TracedControl::setStartPosition(double seconds)
{
    write("StartAt " + std::to_string(static_cast<long long>(seconds * 1000.0 + 0.5)));
    inner_->setStartPosition(seconds);
}

void TracedControl::seek(double seconds)
{
    write("Seek " + std::to_string(static_cast<long long>(seconds * 1000.0 + 0.5)));
    inner_->seek(seconds);
}

void TracedControl::write(const std::string& line)
{
    std::fputs((line + "\n").c_str(), log_);
    std::fflush(log_);
}

} // namespace orvane
