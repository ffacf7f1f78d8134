// Keyboard use of a form: Tab and Shift+Tab move among the windowless
// controls that act on a click, Enter and Space act on the one reached (or
// on the default control of what shows), Esc on the cancel control.
#include "ui/Forms.h"

#include <algorithm>

namespace {

constexpr LPARAM kRepeatFlag = 1 << 30;

void collectTabStops(const TControl& container, std::vector<TControl*>& list)
{
    for (auto* c : container.controls()) {
        if (c->tabStop())
            list.push_back(c);
        collectTabStops(*c, list);
    }
}

} // namespace

bool TForm::canFocus(const TControl& control) const
{
    return control.tabStop() && control.enabled() && control.showing() && !control.windowed() &&
           inClientArea(control);
}

std::vector<TControl*> TForm::tabOrder() const
{
    std::vector<TControl*> all;
    collectTabStops(*this, all);
    std::erase_if(all, [this](const TControl* c) { return !canFocus(*c); });
    std::stable_sort(all.begin(), all.end(), [](const TControl* a, const TControl* b) {
        const POINT pa = a->originInForm(), pb = b->originInForm();
        return pa.y != pb.y ? pa.y < pb.y : pa.x < pb.x;
    });
    return all;
}

TControl* TForm::focusedControl() const
{
    if (focused_ && canFocus(*focused_))
        return focused_;
    std::vector<TControl*> all;
    collectTabStops(*this, all);
    const auto it = std::find_if(all.begin(), all.end(), [this](const TControl* c) {
        return c->isDefault() && canFocus(*c);
    });
    return it != all.end() ? *it : nullptr;
}

TControl* TForm::cancelControl() const
{
    std::vector<TControl*> all;
    collectTabStops(*this, all);
    const auto it = std::find_if(all.begin(), all.end(), [this](const TControl* c) {
        return c->isCancel() && canFocus(*c);
    });
    return it != all.end() ? *it : nullptr;
}

void TForm::setFocusedControl(TControl* control, bool cue)
{
    TControl* old = focusedControl();
    focused_ = control;
    // Access keys are underlined from the first use of the keyboard on.
    if (cue && !focusCue_ && wnd_)
        ::InvalidateRect(wnd_, nullptr, FALSE);
    focusCue_ = cue;
    if (old)
        invalidateArea(old);
    if (control) {
        invalidateArea(control);
        notifyAccessible(control, EVENT_OBJECT_FOCUS);
    }
}

bool TForm::navigationKey(const MSG& msg)
{
    if (msg.message == WM_SYSKEYDOWN && wnd_ && !closed_ && ::IsWindowEnabled(wnd_) && ::IsWindowVisible(wnd_)) {
        // Alt with a caption's access key.
        for (TControl* c : tabOrder())
            if (c->accessKey() == static_cast<wchar_t>(msg.wParam)) {
                if (!(msg.lParam & kRepeatFlag))
                    c->performClick();
                return true;
            }
        return false;
    }
    if (msg.message != WM_KEYDOWN || !wnd_ || closed_ || !::IsWindowEnabled(wnd_) || !::IsWindowVisible(wnd_))
        return false;
    const bool repeat = (msg.lParam & kRepeatFlag) != 0;
    switch (msg.wParam) {
    case VK_TAB: {
        const std::vector<TControl*> order = tabOrder();
        if (order.empty())
            return false;
        const bool backward = ::GetKeyState(VK_SHIFT) < 0;
        const auto at = std::find(order.begin(), order.end(), focusedControl());
        size_t next;
        if (at == order.end())
            next = backward ? order.size() - 1 : 0;
        else
            next = (static_cast<size_t>(at - order.begin()) + (backward ? order.size() - 1 : 1)) % order.size();
        // From a child window (the path's edit) the keyboard comes back to
        // the form.
        if (msg.hwnd != wnd_)
            ::SetFocus(wnd_);
        setFocusedControl(order[next], true);
        return true;
    }
    case VK_SPACE:
        // Space belongs to a child window that has the keyboard.
        if (msg.hwnd != wnd_)
            return false;
        [[fallthrough]];
    case VK_RETURN:
        if (TControl* c = focusedControl()) {
            if (!repeat)
                c->performClick();
            return true;
        }
        return false;
    case VK_ESCAPE:
        if (TControl* c = cancelControl()) {
            if (!repeat)
                c->performClick();
            return true;
        }
        return false;
    default:
        return false;
    }
}
