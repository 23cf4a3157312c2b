#pragma once

#include "player/place.h"

#include <QString>

#include <memory>

class QLockFile;

namespace orvane {

// The place as a small file of its own, state rather than settings:
// ${XDG_STATE_HOME:-$HOME/.local/state}/Orvane/place, replaced whole the way
// the settings file is (a new file beside the old, renamed into place), so a
// kill leaves the old place or the new one. Only a regular file there is read
// or replaced; anything else is left alone and no place is kept.
//
// One copy of the program keeps the place: the one that holds its lock,
// "place.lock", taken when the store is made and held for as long as it
// lives (a copy that died leaves it to the next one at once). Another copy
// running meanwhile plays all the same, but keeps no place: were it to
// store too, each would overwrite the other's every few seconds, and a Stop
// in one would forget the place of the other.
class PlaceFile : public PlaceStore {
public:
    // Far more than a place ever takes: a larger file is not ours.
    static constexpr qint64 MaxSize = 1024 * 1024;
    // How long the claim of the place waits for a copy of the program that
    // is just letting it go.
    static constexpr int LockWaitMs = 250;

    explicit PlaceFile(QString filePath = defaultFilePath());
    ~PlaceFile() override;
    PlaceFile(const PlaceFile&) = delete;
    PlaceFile& operator=(const PlaceFile&) = delete;

    // Whether this copy holds the place's lock; save and forget of one that
    // does not throw and change nothing.
    bool owns() const { return owner_ != nullptr; }

    std::string load() override;
    void save(const std::string& text) override;
    void forget() override;

    const QString& filePath() const { return filePath_; }
    // Read from the environment at each call.
    static QString defaultFilePath();

private:
    QString filePath_;
    std::unique_ptr<QLockFile> owner_;
};

// The place of this copy of the program at filePath; null when another
// running copy holds it.
std::unique_ptr<PlaceStore> makePlaceFile(const QString& filePath = PlaceFile::defaultFilePath());

} // namespace orvane
