#include "app/splash_form.h"

#include "settings/settings_store.h"

namespace orvane {

void SplashForm::Form_Load()
{
    applyFirstRunRule(settings_);
    SplashTickLimit = 1;
    showVersion(versionCaption());
    startTimer1(TimerIntervalMs);
}

void SplashForm::Timer1_Timer()
{
    ++SplashTicks;
    if (SplashTicks == SplashTickLimit)
        closeWindow();
}

void SplashForm::Form_KeyPress()
{
    closeWindow();
}

void SplashForm::Frame1_Click()
{
    closeWindow();
}

void SplashForm::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    stopTimer1();
    showMainWindow();
}

} // namespace orvane
