#include "app/program_lifetime.h"

namespace orvane {

void ProgramLifetime::mainWindowUnloaded()
{
    mainUnloaded_ = true;
    scheduleCheck();
}

void ProgramLifetime::windowGone()
{
    scheduleCheck();
}

void ProgramLifetime::scheduleCheck()
{
    if (checkPending_ || !mainUnloaded_)
        return;
    checkPending_ = true;
    checkLater();
}

void ProgramLifetime::check()
{
    checkPending_ = false;
    if (ending_ || !mainUnloaded_ || anyWindowShown())
        return;
    ending_ = true;
    endProgram();
}

} // namespace orvane
