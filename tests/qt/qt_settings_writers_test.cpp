// Two copies of the program may run at once, each storing its choices as they
// change: the settings file must stay valid whatever the interleaving.
#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "qt/qt_app_support.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

constexpr int WritesPerCopy = 150;

// "/copyN/i" as a writer below stores it, for copy 1 or 2.
bool isWrittenPath(const std::string& text)
{
    const std::string digits = text.size() > 7 ? text.substr(7) : std::string();
    return (text.rfind("/copy1/", 0) == 0 || text.rfind("/copy2/", 0) == 0) && !digits.empty()
        && digits.find_first_not_of("0123456789") == std::string::npos
        && std::stoi(digits) < WritesPerCopy;
}

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
        // Whatever the other copy did meanwhile, a read finds a whole file:
        // every value there, each one that either copy wrote.
        ASSERT_TRUE(isWrittenPath(settings.ReadRegValue(regPath("PlayPath")))) << "after write " << i;
        const std::string sub = settings.ReadRegValue(regPath("Sub"));
        ASSERT_TRUE(sub == "0" || sub == "1") << "after write " << i << ": '" << sub << "'";
        ASSERT_EQ(settings.ReadRegValue(regPath("Version")), "3.0.0") << "after write " << i;
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

    // The file as bytes, line by line: one section, each value exactly once.
    const QList<QByteArray> lines = sandbox.fileBytes().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 6) << sandbox.fileBytes().toStdString();
    EXPECT_EQ(lines[0], "[General]");
    QStringList names;
    for (qsizetype i = 1; i < lines.size(); ++i)
        names << QString::fromUtf8(lines[i].left(lines[i].indexOf('=')));
    names.sort();
    EXPECT_EQ(names.join(u' ').toStdString(), "PlayOrder PlayPath Repeat Sub Version");
    EXPECT_EQ(sandbox.keys(), "PlayOrder PlayPath Repeat Sub Version");
    const std::string last = sandbox.value("PlayPath");
    EXPECT_TRUE(last == "/copy1/" + std::to_string(WritesPerCopy - 1) || last == "/copy2/" + std::to_string(WritesPerCopy - 1)) << last;
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
}

} // namespace
} // namespace orvane::test
