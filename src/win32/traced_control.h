#pragma once

#include "media/mm_control.h"

#include <cstdio>
#include <memory>
#include <string>

namespace orvane {

// A media control that writes what it is told and what it reports, one line
// each, to a file: "FileName <path>", "StartAt <ms>", "Seek <ms>", the commands ("Open",
// "Play", "pause", "Close") and "Done <code>". For following a run from outside, when the
// environment variable ORVANE_TRACE names the file.
class TracedControl : public MMControl {
public:
    TracedControl(std::unique_ptr<MMControl> inner, std::FILE* log);
    ~TracedControl() override;

    // inner as it is when ORVANE_TRACE is not set or its file cannot be opened.
    static std::unique_ptr<MMControl> wrapFromEnvironment(std::unique_ptr<MMControl> inner);

    void setCommand(const std::string& command) override;
    void setFileName(const std::string& path) override;
    void setNotify(bool notify) override { inner_->setNotify(notify); }
    void setWait(bool wait) override { inner_->setWait(wait); }
    void setShareable(bool shareable) override { inner_->setShareable(shareable); }
    void setNextFileName(const std::string& path) override { inner_->setNextFileName(path); }
    void setFolderAhead(const std::vector<std::string>& paths) override { inner_->setFolderAhead(paths); }
    void setLevelling(std::shared_ptr<Levelling> levelling) override
    {
        inner_->setLevelling(levelling);
        MMControl::setLevelling(std::move(levelling));
    }
    void setStartPosition(double seconds) override;
    double position() const override { return inner_->position(); }
    NowPlaying nowPlaying() const override { return inner_->nowPlaying(); }
    bool canSeek() const override { return inner_->canSeek(); }
    void seek(double seconds) override;
    void setVolume(double level) override { inner_->setVolume(level); }

private:
    void write(const std::string& line);

    std::unique_ptr<MMControl> inner_;
    std::FILE* log_;
};

} // namespace orvane
