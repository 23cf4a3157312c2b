#pragma once

#include <string>

namespace orvane {

// The product web page, opened from the About window's link.
inline constexpr const char* ProductWebPage = "https://orvane.example.org/";

// The About window's rules: the version text at load, closing on Exit or a
// click on the frame's background, the link that opens the product web page
// and is underlined from the moment the pointer is on it until the pointer
// next crosses the background. Each program's About window derives from it
// and supplies the calls below.
class AboutForm {
public:
    virtual ~AboutForm() = default;

    void Form_Load();
    void cmdExit_Click();
    void Frame1_Click();
    void lblURL_Click();
    void lblURL_MouseMove();
    void Frame1_MouseMove();

    bool linkUnderlined() const { return underlined_; }

protected:
    virtual void showVersion(const std::string& caption) = 0; // lblVersion
    virtual void showLinkUnderline(bool on) = 0;              // lblURL's font
    virtual void closeWindow() = 0;                           // unloads the window
    // Asks the desktop to open address in the user's browser; what comes of
    // it is not looked at, and the window stays as it is.
    virtual void openWebPage(const std::string& address) = 0;

private:
    void setLinkUnderline(bool on);

    bool underlined_ = false;
};

} // namespace orvane
