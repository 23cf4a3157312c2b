#pragma once

#include "player/place.h"

#include <QString>

#include <memory>

namespace orvane {

// The place as a small file of its own, state rather than settings:
// ${XDG_STATE_HOME:-$HOME/.local/state}/Orvane/place, replaced whole the way
// the settings file is (a new file beside the old, renamed into place), so a
// kill leaves the old place or the new one. Only a regular file there is read
// or replaced; anything else is left alone and no place is kept.
class PlaceFile : public PlaceStore {
public:
    // Far more than a place ever takes: a larger file is not ours.
    static constexpr qint64 MaxSize = 1024 * 1024;
    // How long a write waits for another copy of the program's.
    static constexpr int LockWaitMs = 250;

    explicit PlaceFile(QString filePath = defaultFilePath()) : filePath_(std::move(filePath)) {}

    std::string load() override;
    void save(const std::string& text) override;
    void forget() override;

    const QString& filePath() const { return filePath_; }
    // Read from the environment at each call.
    static QString defaultFilePath();

private:
    QString filePath_;
};

std::unique_ptr<PlaceStore> makePlaceFile();

} // namespace orvane
