#include "win32/win_accessible.h"

#include "win32/win_window.h"

#include <commctrl.h>
#include <oleacc.h>

#include <memory>
#include <utility>

namespace orvane::win {

namespace {

bool isSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

BSTR copyOf(const std::wstring& text)
{
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The system's accessible object with the facts laid over it. Everything the
// facts do not name, and everything about the children, is the system's
// answer; other interfaces (IEnumVARIANT for the children, IOleWindow) are
// the system object's own.
class Overlay final : public IAccessible {
public:
    Overlay(IAccessible* system, AccessibleFacts facts)
        : system_(system)
        , facts_(std::move(facts))
    {
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return system_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch: as the system object.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return system_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override
    {
        return system_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override
    {
        return system_->GetIDsOfNames(iid, names, n, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override
    {
        return system_->Invoke(id, iid, lcid, flags, params, result, exception, argError);
    }

    // IAccessible: the facts for the object itself, else the system's.
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!isSelf(child) || facts_.role == 0)
            return system_->get_accRole(child, role);
        if (!role)
            return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = facts_.role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        if (!isSelf(child) || !facts_.description)
            return system_->get_accDescription(child, description);
        if (!description)
            return E_INVALIDARG;
        const std::wstring text = facts_.description();
        *description = text.empty() ? nullptr : copyOf(text);
        return text.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!isSelf(child) || !facts_.press)
            return system_->get_accDefaultAction(child, action);
        if (!action)
            return E_INVALIDARG;
        *action = copyOf(facts_.pressName);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        if (!isSelf(child) || !facts_.press)
            return system_->accDoDefaultAction(child);
        facts_.press();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return system_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return system_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        return system_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!isSelf(child) || facts_.name.empty())
            return system_->get_accName(child, name);
        if (!name)
            return E_INVALIDARG;
        *name = copyOf(facts_.name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return system_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        return system_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return system_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return system_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return system_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return system_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return system_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        return system_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        return system_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return system_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        return system_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return system_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return system_->put_accValue(child, value);
    }

private:
    ~Overlay() { system_->Release(); }

    IAccessible* system_;
    AccessibleFacts facts_;
    ULONG refs_ = 1;
};

LRESULT CALLBACK annotatedProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR data)
{
    auto* facts = reinterpret_cast<AccessibleFacts*>(data);
    if (message == WM_GETOBJECT) {
        if (const LRESULT answer = answerGetObject(control, wParam, lParam, *facts))
            return answer;
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, annotatedProc, id);
        delete facts;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

LRESULT CALLBACK unpaintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_NCDESTROY: RemoveWindowSubclass(window, unpaintedProc, id); break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

LRESULT answerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT)
        return 0;
    IAccessible* system = nullptr;
    // By __uuidof: mingw-w64's oleacc import library carries an IID_IAccessible
    // of its own that is not the interface's.
    if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&system)))
        || !system)
        return 0;
    auto* overlay = new Overlay(system, facts);
    const LRESULT answer = LresultFromObject(__uuidof(IAccessible), wParam, overlay);
    overlay->Release();
    return answer > 0 ? answer : 0;
}

void setAccessibleFacts(HWND control, AccessibleFacts facts)
{
    auto owned = std::make_unique<AccessibleFacts>(std::move(facts));
    if (SetWindowSubclass(control, annotatedProc, 1, reinterpret_cast<DWORD_PTR>(owned.get())))
        owned.release();
}

HWND createGrouping(HWND parent, const std::wstring& name)
{
    // A group box, which answers every hit test as transparent; a window
    // transparent to painting is left out of its parent's clipping, so what
    // lies beneath shows through.
    const HWND group = createControl(parent, L"BUTTON", name, BS_GROUPBOX, 0, WS_EX_TRANSPARENT);
    if (!group)
        return nullptr;
    SetWindowSubclass(group, unpaintedProc, 2, 0);
    AccessibleFacts facts;
    facts.name = name;
    facts.role = ROLE_SYSTEM_GROUPING;
    setAccessibleFacts(group, std::move(facts));
    return group;
}

void placeGrouping(HWND group, std::initializer_list<HWND> members)
{
    RECT place{};
    for (const HWND member : members) {
        RECT r;
        GetWindowRect(member, &r);
        MapWindowPoints(nullptr, GetParent(group), reinterpret_cast<POINT*>(&r), 2);
        UnionRect(&place, &place, &r);
    }
    moveWindow(group, place);
}

void descriptionChanged(HWND window)
{
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace orvane::win
