// Two copies of the program may run at once, each storing its choices as they
// change: the settings file must stay valid whatever the interleaving.
#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "qt/qt_app_support.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

constexpr int WritesPerCopy = 150;

// Runs only inside the child processes the test below starts.
TEST(SettingsWriters, ChildWriter)
{
    const QByteArray id = qgetenv("ORVANE_SETTINGS_WRITER");
    if (id.isEmpty())
        GTEST_SKIP() << "started by TwoCopiesWritingAtOnceLeaveAValidFile";
    SettingsProvider settings(makeQtSettingsRegistry);
    for (int i = 0; i < WritesPerCopy; ++i) {
        settings.WriteRegValue(regPath("PlayPath"), "/copy" + id.toStdString() + "/" + std::to_string(i));
        settings.WriteRegValue(regPath("Sub"), std::to_string(i % 2));
    }
}

TEST(SettingsWriters, TwoCopiesWritingAtOnceLeaveAValidFile)
{
    SettingsSandbox sandbox;
    applyFirstRunRule(sandbox.settings());

    std::vector<std::unique_ptr<QProcess>> copies;
    for (const char* id : {"1", "2"}) {
        auto copy = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_SETTINGS_WRITER", id);
        env.insert("XDG_CONFIG_HOME", sandbox.folder());
        copy->setProcessEnvironment(env);
        copy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SettingsWriters.ChildWriter"});
        copies.push_back(std::move(copy));
    }
    for (auto& copy : copies) {
        ASSERT_TRUE(copy->waitForFinished(120000));
        EXPECT_EQ(copy->exitCode(), 0) << copy->readAllStandardOutput().toStdString();
    }

    QSettings file(sandbox.filePath(), QSettings::IniFormat);
    EXPECT_EQ(file.status(), QSettings::NoError);
    EXPECT_EQ(sandbox.keys(), "PlayOrder PlayPath Repeat Sub Version");
    const std::string last = sandbox.value("PlayPath");
    EXPECT_TRUE(last == "/copy1/" + std::to_string(WritesPerCopy - 1) || last == "/copy2/" + std::to_string(WritesPerCopy - 1)) << last;
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
}

} // namespace
} // namespace orvane::test
