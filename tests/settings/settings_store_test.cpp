#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace orvane::test {
namespace {

class Settings : public ::testing::Test {
protected:
    void stored(const char* name, const std::string& value) { store.values[regPath(name)] = value; }
    std::string value(const char* name) { return store.values.at(regPath(name)); }

    MemoryStore store;
    SettingsProvider settings{store.factory()};
    ControlModel controls;
};

TEST_F(Settings, FirstRunWritesTheFiveDefaultsInOrder)
{
    EXPECT_EQ(regPath("PlayOrder"), "HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder");
    applyFirstRunRule(settings);
    EXPECT_EQ(store.writes, (std::vector<std::string>{"PlayOrder=2", "Sub=0", "Repeat=0", "PlayPath=", "Version=3.0.0"}));
    loadSettings(settings, controls);
    EXPECT_TRUE(controls.optName());
    EXPECT_FALSE(controls.optDate());
    EXPECT_EQ(controls.ckSub(), 0);
    EXPECT_EQ(controls.ckRepeat(), 0);
    EXPECT_EQ(controls.Text1(), "");
}

// A value the window stores but the first run leaves alone would keep an
// older version's choice (and the damaged-file salvage would drop it).
TEST_F(Settings, EveryValueTheUnloadStoresHasAFirstRunDefault)
{
    controls.setOptDate(true);
    controls.setText1("/music");
    storeAllSettings(settings, controls);
    ASSERT_FALSE(store.writes.empty());
    EXPECT_EQ(value("PlayOrder"), "1") << "the date order is stored where nothing was";
    std::vector<std::string> defaults;
    for (const StoredSetting& stored : StoredSettings)
        defaults.push_back(stored.name);
    for (const std::string& write : store.writes) {
        const std::string name = write.substr(0, write.find('='));
        EXPECT_NE(std::find(defaults.begin(), defaults.end(), name), defaults.end()) << name;
    }
}

TEST_F(Settings, SameVersionWritesNothingOtherVersionsReset)
{
    stored("Version", "3.0.0");
    stored("PlayPath", "/music");
    applyFirstRunRule(settings);
    EXPECT_TRUE(store.writes.empty());

    for (const char* old : {"2.1.0", "3.0", " 3.0.0", ""}) {
        stored("Version", old);
        stored("PlayPath", "/music");
        stored("Sub", "1");
        applyFirstRunRule(settings);
        EXPECT_EQ(value("PlayPath"), "") << old;
        EXPECT_EQ(value("Sub"), "0") << old;
        EXPECT_EQ(value("Version"), "3.0.0") << old;
    }
}

TEST_F(Settings, LoadTurnsStoredTextIntoControlStates)
{
    struct Case {
        const char* playOrder;
        bool date;
    };
    for (Case c : {Case{"1", true}, {"2", false}, {"0", false}, {"9", false}, {"abc", false}, {"", false}, {" 1 ", true}, {"1x", false}, {"+1", true}}) {
        stored("PlayOrder", c.playOrder);
        loadSettings(settings, controls);
        EXPECT_EQ(controls.optDate(), c.date) << c.playOrder;
        EXPECT_EQ(controls.optName(), !c.date) << c.playOrder;
    }
    for (auto [text, state] : std::vector<std::pair<const char*, int>>{{"1", 1}, {"0", 0}, {"2", 0}, {"x", 0}, {"", 0}, {"1x", 0}}) {
        stored("Sub", text);
        stored("Repeat", text);
        loadSettings(settings, controls);
        EXPECT_EQ(controls.ckSub(), state) << text;
        EXPECT_EQ(controls.ckRepeat(), state) << text;
        EXPECT_EQ(controls.checked(Ctl::ckSub), state == 1) << text; // what the windows show
    }
    stored("PlayPath", "/no/such folder, really");
    loadSettings(settings, controls);
    EXPECT_EQ(controls.Text1(), "/no/such folder, really");
}

TEST_F(Settings, EachClickStoresAtOnceAndUnloadStoresAll)
{
    controls.setOptName(true); // as loaded
    optDate_Click(settings, controls);
    EXPECT_TRUE(controls.optDate());
    EXPECT_FALSE(controls.optName());
    optName_Click(settings, controls);
    controls.setCkSub(1);
    ckSub_Click(settings, controls);
    controls.setCkRepeat(1);
    ckRepeat_Click(settings, controls);
    controls.setCkRepeat(0);
    ckRepeat_Click(settings, controls);
    EXPECT_EQ(store.writes, (std::vector<std::string>{"PlayOrder=1", "PlayOrder=2", "Sub=1", "Repeat=1", "Repeat=0"}));

    store.writes.clear();
    storeAllSettings(settings, controls);
    EXPECT_EQ(store.writes, (std::vector<std::string>{"PlayOrder=2", "Sub=1", "Repeat=0", "PlayPath="}));

    // With neither order selected the stored order is kept.
    store.writes.clear();
    controls.setOptName(false);
    controls.setText1("/typed path");
    storeAllSettings(settings, controls);
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Sub=1", "Repeat=0", "PlayPath=/typed path"}));
}

TEST_F(Settings, FailuresAreSilentAndLoseNothingElse)
{
    stored("PlayPath", "/music");
    store.failWrites = true;
    storeAllSettings(settings, controls);
    EXPECT_EQ(value("PlayPath"), "/music");

    store.failReads = true;
    EXPECT_EQ(settings.ReadRegValue(regPath("PlayPath")), "");

    SettingsProvider unreachable([]() -> std::unique_ptr<Registry> { throw std::runtime_error("no registry"); });
    EXPECT_EQ(unreachable.ReadRegValue(regPath("PlayPath")), "");
    unreachable.WriteRegValue(regPath("PlayPath"), "x");
    SettingsProvider none([] { return std::unique_ptr<Registry>{}; });
    applyFirstRunRule(none);
    loadSettings(none, controls);
    EXPECT_TRUE(controls.optName());
}

} // namespace
} // namespace orvane::test
