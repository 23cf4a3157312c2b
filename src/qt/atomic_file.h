#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

class QLockFile;

namespace orvane {

// Replacing a small file so that a kill at any instant leaves the old file or
// the new one whole at its path, never a mix: copies of the program take
// turns through "<file>.lock", the new text goes into a file of its own
// beside the old ("<file>.tmp-" and six letters or digits), which is then
// renamed into place; such a copy left by a kill is removed at the next
// write, and no other file is touched.

// Takes lockPath through lock, taking over at once a lock that a process that
// died left; false when another copy still holds it after waitMs.
bool takeFileLock(QLockFile& lock, const QString& lockPath, int waitMs);

// The new file beside the one it is to replace; removed again unless it has
// been put in place.
class ScratchFile {
public:
    explicit ScratchFile(QString beside) : beside_(std::move(beside)) {}
    ~ScratchFile() { discard(); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // A new file holding text, in place of any made before.
    bool create(const QByteArray& text);
    const QString& path() const { return path_; }

    // Puts the file in place of target. old: what stood there (nothing when
    // null); keepMode gives the new file its permissions. Readers that look
    // at a file again only when its time changes (QSettings does, to the
    // millisecond) see the new file as new: it is stamped later than the old.
    bool replace(const QString& target, const struct stat* old, bool keepMode);

private:
    void discard();

    QString beside_;
    QString path_;
};

// Removes what a kill left of earlier writes beside path: files of the
// scratch pattern only (and what QSettings makes beside such a file while
// writing it), never a link or a folder, nor another user's.
void removeScratchLeftovers(const QString& path);

// The whole write: the folder made if missing, the lock, the new file in
// place, the leftovers removed. False when the text could not be put in
// place (the lock is held, the disk is full, the path is not a regular
// file or a missing one); the old file is then as it was.
bool writeFileAtomically(const QString& path, const QByteArray& text, int lockWaitMs);

} // namespace orvane
