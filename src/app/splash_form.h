#pragma once

#include "settings/mod_reg.h"

#include <string>

namespace orvane {

// The startup window's rules: its load settles the stored settings for this
// version, shows the version and starts the timer; the first tick, a key that
// types a character or a click on its frame unloads it, and its unload shows
// the main window, once. Each program's startup window derives from it and
// supplies the calls below; its own close runs Form_Unload.
class SplashForm {
public:
    static constexpr int TimerIntervalMs = 500;

    explicit SplashForm(SettingsProvider& settings) : settings_(settings) {}
    virtual ~SplashForm() = default;
    SplashForm(const SplashForm&) = delete;
    SplashForm& operator=(const SplashForm&) = delete;

    void Form_Load();
    void Timer1_Timer();
    void Form_KeyPress(); // a key that types a character; which one is not looked at
    void Frame1_Click();
    void Form_Unload();
    bool isUnloaded() const { return unloaded_; }

    int SplashTicks = 0;
    int SplashTickLimit = 0;

protected:
    virtual void showVersion(const std::string& caption) = 0; // lblVersion
    virtual void startTimer1(int intervalMs) = 0;
    virtual void stopTimer1() = 0;
    virtual void closeWindow() = 0; // unloads the window
    virtual void showMainWindow() = 0;

private:
    SettingsProvider& settings_;
    bool unloaded_ = false;
};

} // namespace orvane
