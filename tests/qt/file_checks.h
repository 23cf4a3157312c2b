#pragma once

// Looking at files as the tests of the store's files do.

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

namespace orvane::test {

// Every name in a folder, sorted, joined by blanks.
inline QString namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names.join(u' ');
}

inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace orvane::test
