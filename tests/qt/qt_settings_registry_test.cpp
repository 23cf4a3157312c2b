#include "qt/qt_settings_registry.h"

#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "qt/qt_app_support.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace orvane {
namespace {

using test::SettingsSandbox;

const std::string FiveKeys = "PlayOrder PlayPath Repeat Sub Version";

TEST(QtSettingsRegistry, FileLivesUnderXdgConfigHomeOrHomeConfig)
{
    SettingsSandbox sandbox;
    EXPECT_EQ(QSettingsRegistry::defaultFilePath(), sandbox.filePath());

    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(QSettingsRegistry::defaultFilePath(), QDir::homePath() + "/.config/Orvane.conf");
}

TEST(QtSettingsRegistry, OnlyOrvaneValuePathsAreAccepted)
{
    SettingsSandbox sandbox;
    QSettingsRegistry reg(sandbox.filePath());
    EXPECT_EQ(QSettingsRegistry::keyFor("HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder"),
              QString("PlayOrder"));
    for (const char* bad : {"HKEY_CURRENT_USER\\Software\\Other\\PlayOrder",
                            "HKEY_LOCAL_MACHINE\\Software\\Orvane\\PlayOrder",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\Sub\\Deeper",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\General/Sub", "PlayOrder"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(QSettingsRegistry::keyFor(bad));
        EXPECT_FALSE(reg.read(bad));
        EXPECT_ANY_THROW(reg.write(bad, "1"));
    }
    EXPECT_FALSE(QFileInfo::exists(sandbox.filePath()))
        << "a refused write must not create the file";
}

TEST(QtSettingsRegistry, FirstRunWritesExactlyTheFiveDefaults)
{
    SettingsSandbox sandbox;
    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("PlayOrder"), "2");
    EXPECT_EQ(sandbox.value("Sub"), "0");
    EXPECT_EQ(sandbox.value("Repeat"), "0");
    EXPECT_EQ(sandbox.value("PlayPath"), "");
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    // Top-level keys, as QSettings writes them: the [General] section.
    EXPECT_TRUE(sandbox.fileBytes().startsWith("[General]\n")) << sandbox.fileBytes().toStdString();
    EXPECT_TRUE(sandbox.fileBytes().contains("\nPlayPath=\n"));
}

TEST(QtSettingsRegistry, SameVersionLeavesTheFileUntouched)
{
    SettingsSandbox sandbox;
    sandbox.writeFile("[General]\nVersion=3.0.0\nPlayOrder=1\nSub=1\n");
    const QByteArray before = sandbox.fileBytes();

    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.fileBytes(), before);
    EXPECT_EQ(sandbox.keys(), "PlayOrder Sub Version");
}

TEST(QtSettingsRegistry, AnyOtherVersionResetsTheChoices)
{
    for (const char* old : {"2.1.0", "3.0", "3.0.0 ", "", "3.0.1"}) {
        SCOPED_TRACE(old);
        SettingsSandbox sandbox;
        sandbox.setValue("Version", old);
        sandbox.setValue("PlayOrder", "1");
        sandbox.setValue("Sub", "1");
        sandbox.setValue("Repeat", "1");
        sandbox.setValue("PlayPath", "/music/old");

        applyFirstRunRule(sandbox.settings());

        EXPECT_EQ(sandbox.value("PlayOrder"), "2");
        EXPECT_EQ(sandbox.value("Sub"), "0");
        EXPECT_EQ(sandbox.value("Repeat"), "0");
        EXPECT_EQ(sandbox.value("PlayPath"), "");
        EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    }
}

TEST(QtSettingsRegistry, AwkwardPlayPathsSurviveAWriteAndARead)
{
    SettingsSandbox sandbox;
    const std::string paths[] = {
        "/music/a,b,c",
        "/music/\"quoted\" and 'single'",
        "/music/key=value",
        "/music/semi;colon",
        "#/music/hash",
        "/music/#inside",
        "@ByteArray(/music)",
        "@Variant(x)",
        "@@",
        " /music/spaces around ",
        "C:\\Music\\Disc 1\\",
        "[General]",
        "/musik/Grüße/Ωmega/日本語/🎵",
        "/music/100%/%41",
        "",
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        sandbox.setValue("PlayPath", path);
        EXPECT_EQ(sandbox.value("PlayPath"), path);
    }
    // The other values are not disturbed by any of it.
    sandbox.setValue("Sub", "1");
    sandbox.setValue("PlayPath", "/music/a=b,c;#d");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.keys(), "PlayPath Sub");
}

TEST(QtSettingsRegistry, HandEditedValuesReadAsTheirText)
{
    SettingsSandbox sandbox;
    sandbox.writeFile("[General]\nPlayPath=/music/a,b,c\nSub=1\nVersion=3.0.0\n"
                      "PlayOrder=\"1\"\n");
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/a,b,c");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    EXPECT_EQ(sandbox.value("Repeat"), "") << "a missing value reads as empty text";
    EXPECT_FALSE(QSettingsRegistry(sandbox.filePath())
                     .read("HKEY_CURRENT_USER\\Software\\Orvane\\Repeat"));
}

TEST(QtSettingsRegistry, GarbageFileNeitherStopsTheProgramNorBlocksTheDefaults)
{
    SettingsSandbox sandbox;
    QByteArray junk(8192, '\0');
    QRandomGenerator rng(42);
    for (auto& byte : junk)
        byte = static_cast<char>(rng.bounded(256));
    sandbox.writeFile(junk);

    EXPECT_EQ(sandbox.value("Version"), "");
    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    QFile aside(sandbox.filePath() + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << "the unreadable file is kept aside";
    EXPECT_EQ(aside.readAll(), junk);
}

TEST(QtSettingsRegistry, OversizedFileKeepsItsValuesAndIsReplaced)
{
    SettingsSandbox sandbox;
    // Well-formed, but far larger than any settings file of ours.
    QByteArray big = "[General]\nVersion=3.0.0\nPlayOrder=1\n";
    while (big.size() <= QSettingsRegistry::MaxFileSize)
        big += "Filler=0123456789012345678901234567890123456789\n";
    sandbox.writeFile(big);

    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    sandbox.setValue("Sub", "1");
    EXPECT_EQ(sandbox.keys(), "PlayOrder Sub Version");
    EXPECT_LT(QFileInfo(sandbox.filePath()).size(), 100);
}

TEST(QtSettingsRegistry, DamagedFileKeepsEveryReadableValue)
{
    SettingsSandbox sandbox;
    QByteArray damaged("[General]\nVersion=3.0.0\nPlayPath=\"/music/a, b\"\nSub=1\n");
    damaged += QByteArray(300, '\0');
    damaged += "Rep\xff\xfe\nRepeat=1\n[Other]\nPlayOrder=9\n\x01\x02garbage";
    sandbox.writeFile(damaged);

    // Start-up sees the same version and loads what could be read.
    applyFirstRunRule(sandbox.settings());
    ControlModel controls;
    loadSettings(sandbox.settings(), controls);
    EXPECT_EQ(controls.Text1(), "/music/a, b");
    EXPECT_EQ(controls.ckSub(), 1);
    EXPECT_EQ(controls.ckRepeat(), 1);
    EXPECT_TRUE(controls.optName()); // PlayOrder was only in another section

    storeAllSettings(sandbox.settings(), controls);
    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/a, b");
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
}

TEST(QtSettingsRegistry, HugeFileIsReadInOnePassAndKeepsItsValues)
{
    SettingsSandbox sandbox;
    {
        QFile file(sandbox.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nVersion=3.0.0\nPlayPath=/songs\n");
        const QByteArray junk(1 << 20, '#');
        for (int i = 0; i < 64; ++i) // 64 MiB of one endless comment line
            file.write(junk);
        file.write("\nRepeat=1\n");
    }
    EXPECT_EQ(sandbox.value("PlayPath"), "/songs");
    EXPECT_EQ(sandbox.value("Repeat"), "1");
}

TEST(QtSettingsRegistry, UnwritableFolderLosesWritesSilently)
{
    SettingsSandbox sandbox;
    // A file where the folder should be: nothing can be created under it,
    // whoever runs the test.
    const QString blocker = sandbox.folder() + "/blocker";
    QFile(blocker).open(QIODevice::WriteOnly);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + "/config"));

    EXPECT_ANY_THROW(QSettingsRegistry().write("HKEY_CURRENT_USER\\Software\\Orvane\\Sub", "1"));
    EXPECT_NO_THROW(applyFirstRunRule(sandbox.settings()));
    EXPECT_EQ(sandbox.value("Version"), "");
}

} // namespace
} // namespace orvane
