#pragma once

#include "platform/win_api.h"

#include <functional>
#include <initializer_list>
#include <string>

namespace orvane::win {

// What a screen reader is told about a window (through MSAA, IAccessible)
// beyond what the system's own accessible object for it says: each part that
// is set replaces the system's answer about the window itself; its children
// and everything else stay the system's.
struct AccessibleFacts {
    std::wstring name;                         // empty: the system's
    long role = 0;                             // ROLE_SYSTEM_*; 0: the system's
    std::function<std::wstring()> description; // null: the system's
    std::function<void()> press;               // the default action; null: the system's
    std::wstring pressName;                    // what the default action is called
};

// Answers WM_GETOBJECT for the window's client object with the system's
// object, the facts laid over it. 0 for any other object asked for: the
// message then goes on to the default procedure.
LRESULT answerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts);

// Lays the facts over a control of a system class, for as long as it lives.
void setAccessibleFacts(HWND control, AccessibleFacts facts);

// A grouping over the place of controls that belong together, which screen
// readers name as focus enters any of them. On screen it is nothing: it
// paints nothing, lets every click through, and its parent paints beneath it.
HWND createGrouping(HWND parent, const std::wstring& name);
// Lays the grouping over its members' places, once they are placed.
void placeGrouping(HWND group, std::initializer_list<HWND> members);

// Tells screen readers that the window's accessible description has changed.
void descriptionChanged(HWND window);

} // namespace orvane::win
