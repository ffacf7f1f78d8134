// Driving forms from tests: real window messages sent to the form's window,
// pixels of a form painted into a picture, and actions run inside the next
// modal loop.
#pragma once

#include "ui/Forms.h"
#include "ui/Obj_CommLangForm.h"

#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace uitest {

inline void mouse(TForm& form, UINT msg, int x, int y, WPARAM keys = 0)
{
    ::SendMessageW(form.handle(), msg, keys, MAKELPARAM(x, y));
}
inline void moveTo(TForm& form, int x, int y) { mouse(form, WM_MOUSEMOVE, x, y); }
inline void press(TForm& form, int x, int y) { mouse(form, WM_LBUTTONDOWN, x, y, MK_LBUTTON); }
inline void release(TForm& form, int x, int y) { mouse(form, WM_LBUTTONUP, x, y); }
inline void clickAt(TForm& form, int x, int y)
{
    moveTo(form, x, y);
    press(form, x, y);
    release(form, x, y);
}
// The centre of CONTROL in its form's client coordinates.
inline POINT centreOf(const TControl& control)
{
    const POINT at = control.originInForm();
    return {at.x + control.width() / 2, at.y + control.height() / 2};
}

// 0xRRGGBB of a pixel of an opaque picture.
inline std::uint32_t rgbAt(const TPicture& picture, int x, int y)
{
    return picture.pixels()[static_cast<size_t>(y) * picture.width() + x] & 0xFFFFFF;
}

// The smallest rectangle around the pixels of AREA that are not BACKGROUND
// (0xRRGGBB); empty when there are none.
inline RECT inkBounds(const TPicture& picture, RECT area, std::uint32_t background)
{
    RECT ink{area.right, area.bottom, area.left, area.top};
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x)
            if (rgbAt(picture, x, y) != background)
                ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
                       std::max(ink.bottom, y + 1)};
    return ink;
}
// CONTROL's rectangle in its form's client coordinates.
inline RECT areaOf(const TControl& control)
{
    const POINT at = control.originInForm();
    return {at.x, at.y, at.x + control.width(), at.y + control.height()};
}

// The visible modal form (the box a test waits for).
inline TForm* modalForm()
{
    for (TForm* f : Application.forms())
        if (f->modal())
            return f;
    return nullptr;
}

// Runs ACTION on the user-interface thread once a modal form is up: from a
// thread timer, which fires inside the modal loop.
inline std::function<void(TForm&)>& pendingAction()
{
    static std::function<void(TForm&)> action;
    return action;
}

inline void CALLBACK runPendingAction(HWND, UINT, UINT_PTR id, DWORD)
{
    TForm* form = modalForm();
    if (!form)
        return;
    ::KillTimer(nullptr, id);
    auto action = std::exchange(pendingAction(), nullptr);
    if (action)
        action(*form);
}

inline void whenModal(std::function<void(TForm&)> action)
{
    pendingAction() = std::move(action);
    ::SetTimer(nullptr, 0, 30, runPendingAction);
}

// The client of WND (of this or another program) as an assistive program
// gets it (released by the caller).
inline IAccessible* accessibleOf(HWND wnd)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Looked up at run time as the program does (liboleacc would define
    // IID_IAccessible a second time beside libuuid).
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    static const auto fromWindow = reinterpret_cast<FromWindow>(
        reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow")));
    IAccessible* object = nullptr;
    if (fromWindow)
        fromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, reinterpret_cast<void**>(&object));
    return object;
}
inline IAccessible* accessibleOf(TForm& form) { return accessibleOf(form.handle()); }
inline VARIANT childId(long id)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}
// The id of OBJECT's child with NAME and ROLE; 0 when it has none.
inline long accessibleChild(IAccessible& object, const std::wstring& name, long role)
{
    long count = 0;
    object.get_accChildCount(&count);
    for (long i = 1; i <= count; ++i) {
        BSTR text = nullptr;
        VARIANT r;
        ::VariantInit(&r);
        const bool named = object.get_accName(childId(i), &text) == S_OK && text && name == text;
        ::SysFreeString(text);
        if (named && SUCCEEDED(object.get_accRole(childId(i), &r)) && r.vt == VT_I4 && r.lVal == role)
            return i;
    }
    return 0;
}
inline long accessibleState(IAccessible& object, long id)
{
    VARIANT s;
    ::VariantInit(&s);
    object.get_accState(childId(id), &s);
    return s.vt == VT_I4 ? s.lVal : -1;
}

inline bool movesWindow(const TControl& control) { return TCommLangForm::isMoveHandler(control.OnMouseDown); }

// A window of every control kind, built from the test design "FrmLangTest".
class TFrmLangTest : public TCommLangForm {
public:
    explicit TFrmLangTest(bool moveByBackground = true) : TCommLangForm(nullptr, design(), true, moveByBackground) {}
    std::wstring_view className() const override { return L"TFrmLangTest"; }
    static const FormDesign& design()
    {
        static const FormDesign d{L"FrmLangTest", {handler(L"lblClickableClick", &TFrmLangTest::lblClickableClick)}};
        return d;
    }
    void lblClickableClick(TComponent*) { ++clicks; }
    template <class T>
    T* get(const wchar_t* name)
    {
        return designComponent<T>(*this, name);
    }
    int clicks = 0;
    int moveCommands = 0;

protected:
    // Counts the move command instead of entering the system's move loop,
    // which would wait for a real mouse.
    void wndProc(TMessage& message) override
    {
        if (message.Msg == WM_SYSCOMMAND && message.WParam == 0xF012) {
            ++moveCommands;
            return;
        }
        TCommLangForm::wndProc(message);
    }
};

} // namespace uitest
