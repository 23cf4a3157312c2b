#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <sys/stat.h>

class QLockFile;

namespace orvane {

// Replacing a small file so that a kill at any instant leaves the old file or
// the new one whole at its path, never a mix: copies of the program take
// turns through "<file>.lock", the new text goes into a file of its own
// beside the old ("<file>.tmp-" and six letters or digits), which is then
// renamed into place; such a copy left by a kill is removed at the next
// write, and no other file is touched. A damaged file that is replaced is
// kept aside ("<file>.bad", then ".bad2"...) for the user, and what can still
// be read of it goes into the new one.

// Takes lockPath through lock, taking over at once a lock that a process that
// died left; false when another copy still holds it after waitMs.
bool takeFileLock(QLockFile& lock, const QString& lockPath, int waitMs);

// Text as our files hold it: UTF-8 without a NUL. Random bytes mostly parse
// as lines of settings all the same, so this is asked before parsing.
bool isText(const QByteArray& bytes);

// What sits at a path decides what a store may do there. Only a regular
// file, or a link to one, is ever opened, and only without blocking;
// anything else (a folder, a pipe, a socket, a device, a link to one of them
// or to nothing) belongs to the user and is left alone.
struct FileAtPath {
    enum Kind { Nothing, File, UnreadableFile, Other };
    Kind kind;
    QString path; // the regular file itself, behind any link
    struct stat st {}; // its mode, size and times, when it is a file
};
FileAtPath lookAtFile(const QString& path);

// The whole of the regular file at path, read without blocking or following
// a link; nothing when there is no such file, it cannot be read, or it holds
// more than maxSize bytes.
std::optional<QByteArray> readWholeFile(const QString& path, qint64 maxSize);

// What can be read of a damaged file, in one pass: each line (trimmed) is
// shown to keep, which may also note it (a section heading); the lines it
// keeps that are text stay, in order. A line longer than maxLineSize is
// skipped whole, never cut down to a shorter one.
QByteArray salvageLines(const QString& path, qint64 maxLineSize, const std::function<bool(const QByteArray&)>& keep);

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

// How a new file takes the old one's place.
struct Replacing {
    std::optional<struct stat> old; // what stood there, if anything did
    bool keepMode = false; // the new file gets the old one's permissions
    bool setAside = false; // the old file is damaged: kept under a name of its own
};

// The whole write: the folder made if missing, the lock taken, then make
// writes the new file beside the old and tells how it replaces it (nothing:
// no write); a damaged old file is kept aside only once its replacement is
// written, so a full disk costs nothing; the new file goes in place and the
// leftovers go. False when nothing was put in place; the old file is then as
// it was.
bool replaceFile(const QString& path, int lockWaitMs, const std::function<std::optional<Replacing>(ScratchFile&)>& make);
// The same, by a caller that holds "<file>.lock" already, for longer than
// one write.
bool replaceHeldFile(const QString& path, const std::function<std::optional<Replacing>(ScratchFile&)>& make);

// The file at path replaced by text. False when the text could not be put in
// place (the lock is held, the disk is full, the path is not a regular file
// or a missing one).
bool writeFileAtomically(const QString& path, const QByteArray& text, int lockWaitMs);
bool writeHeldFileAtomically(const QString& path, const QByteArray& text); // the lock held already

// The regular file at path removed under its lock, with the leftovers of
// earlier writes; anything else there stays. False when the lock is held.
bool removeFileAtomically(const QString& path, int lockWaitMs);
void removeHeldFile(const QString& path); // the lock held already

// Removes what a kill left of earlier writes beside path: files of the
// scratch pattern only (and what QSettings makes beside such a file while
// writing it), never a link or a folder, nor another user's.
void removeScratchLeftovers(const QString& path);

} // namespace orvane
