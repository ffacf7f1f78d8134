// Mouse routing of a form: the top-most windowless control under the pointer
// gets enter and leave, press, release and click; a press captures the
// pointer until the release.
#include "ui/Forms.h"

#include <windowsx.h>

#include <utility>

namespace {

TControl* hitIn(const TControl& container, POINT p, bool allowDisabled)
{
    const RECT client = container.clientRect();
    p.x -= client.left;
    p.y -= client.top;
    const auto& list = container.controls();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        TControl* c = *it;
        if (!c->visible() || c->windowed() || (!allowDisabled && !c->enabled()))
            continue;
        if (p.x < c->left() || p.y < c->top() || p.x >= c->left() + c->width() || p.y >= c->top() + c->height())
            continue;
        const POINT inner{p.x - c->left(), p.y - c->top()};
        if (TControl* deeper = hitIn(*c, inner, allowDisabled))
            return deeper;
        return c;
    }
    return nullptr;
}

LPCWSTR cursorResource(TCursor cursor)
{
    switch (cursor) {
    case TCursor::crHandPoint: return IDC_HAND;
    case TCursor::crIBeam: return IDC_IBEAM;
    default: return IDC_ARROW;
    }
}

} // namespace

TControl* TForm::controlAt(POINT client, bool allowDisabled) const { return hitIn(*this, client, allowDisabled); }

void TForm::setHovered(TControl* control)
{
    if (control == hovered_)
        return;
    if (TControl* old = std::exchange(hovered_, nullptr)) {
        auto leave = [old] {
            TMessage message{CM_MOUSELEAVE, 0, 0, 0};
            old->dispatchMouse(message);
        };
        // A leave handler may remove the control the pointer moved onto.
        if (!control)
            leave();
        else if (!guardedCall(control, leave))
            return;
    }
    hovered_ = control;
    if (control) {
        TMessage enter{CM_MOUSEENTER, 0, 0, 0};
        control->dispatchMouse(enter);
    }
}

void TForm::routeMouse(TMessage& m)
{
    if (m.Msg == WM_SETCURSOR) {
        if (LOWORD(m.LParam) != HTCLIENT || reinterpret_cast<HWND>(m.WParam) != wnd_) {
            defaultHandler(m);
            return;
        }
        POINT p;
        ::GetCursorPos(&p);
        ::ScreenToClient(wnd_, &p);
        p = {unscaled(p.x), unscaled(p.y)};
        const TControl* c = controlAt(p, true);
        ::SetCursor(::LoadCursorW(nullptr, cursorResource(c ? c->cursor() : cursor())));
        m.Result = TRUE;
        return;
    }
    if (m.Msg == WM_CAPTURECHANGED) {
        captured_ = nullptr;
        return;
    }
    if (m.Msg == WM_MOUSELEAVE) {
        trackingLeave_ = false;
        setHovered(nullptr);
        return;
    }

    // Hit testing is in the design's units.
    const POINT p{unscaled(GET_X_LPARAM(m.LParam)), unscaled(GET_Y_LPARAM(m.LParam))};
    const bool inside = p.x >= 0 && p.y >= 0 && p.x < width() && p.y < height();
    setHovered(inside ? controlAt(p, true) : nullptr);
    if (!trackingLeave_ && inside) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = wnd_;
        trackingLeave_ = ::TrackMouseEvent(&track) != FALSE;
    }

    const bool press = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_MBUTTONDOWN;
    const bool release = m.Msg == WM_LBUTTONUP || m.Msg == WM_RBUTTONUP || m.Msg == WM_MBUTTONUP;
    TControl* target = captured_ ? captured_ : controlAt(p, false);
    if (press && target) {
        captured_ = target;
        ::SetCapture(wnd_);
    }
    if (release) {
        captured_ = nullptr;
        if (::GetCapture() == wnd_)
            ::ReleaseCapture();
    }
    TControl& receiver = target ? *target : static_cast<TControl&>(*this);
    const POINT at = target ? target->originInForm() : POINT{0, 0};
    TMessage local{m.Msg, m.WParam, MAKELPARAM(p.x - at.x, p.y - at.y), 0};
    receiver.dispatchMouse(local);
}
