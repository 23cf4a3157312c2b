#include "desktop/about_form.h"

#include "settings/settings_store.h"

namespace orvane {

void AboutForm::Form_Load()
{
    showVersion(versionCaption());
}

void AboutForm::cmdExit_Click()
{
    closeWindow();
}

void AboutForm::Frame1_Click()
{
    closeWindow();
}

void AboutForm::lblURL_Click()
{
    openWebPage(ProductWebPage);
}

void AboutForm::lblURL_MouseMove()
{
    setLinkUnderline(true);
}

void AboutForm::Frame1_MouseMove()
{
    setLinkUnderline(false);
}

void AboutForm::setLinkUnderline(bool on)
{
    if (underlined_ == on)
        return;
    underlined_ = on;
    showLinkUnderline(on);
}

} // namespace orvane
