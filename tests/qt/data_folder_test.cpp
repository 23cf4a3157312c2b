#include "qt/data_folder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(DataFolder, InstalledBesideBinElseBesideTheProgram)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.path() + QStringLiteral("/usr/bin");
    ASSERT_TRUE(QDir().mkpath(bin));

    EXPECT_EQ(programDataFolder(bin), bin) << "the build tree: images beside the program";

    ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/usr/share/orvane")));
    EXPECT_EQ(programDataFolder(bin), root.path() + QStringLiteral("/usr/share/orvane"));
    EXPECT_EQ(programDataFolder(bin + QStringLiteral("/")), root.path() + QStringLiteral("/usr/share/orvane"));
}

} // namespace
} // namespace orvane
