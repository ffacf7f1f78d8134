#include "ui/Forms.h"

#include "ui/Design.h"

#include <windows.h>

#include <stdexcept>
#include <utility>

namespace {

// The focus rectangle's distance from the edges of the control it marks.
constexpr int kFocusInset = 2;
// The width of the focus frame in a high-contrast theme.
constexpr int kHighContrastFocusWidth = 2;

// Above 96 DPI the back buffer is painted through a scaling transform:
// text, lines and corners are drawn at the scaled size, not stretched. At 96
// DPI the buffer stays as it always was.
void scaleSurface(HDC dc, int dpi)
{
    if (dpi == kScreenDpi)
        return;
    ::SetGraphicsMode(dc, GM_ADVANCED);
    const float factor = static_cast<float>(dpi) / kScreenDpi;
    const XFORM scale{factor, 0, 0, factor, 0, 0};
    ::SetWorldTransform(dc, &scale);
}

// The DPI of the monitor a window is on: GetDpiForWindow where the system
// has it (Windows 10 1607 and later), else the screen's.
int windowDpi(HWND wnd)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(wnd))
            return static_cast<int>(dpi);
    const HDC dc = ::GetDC(wnd);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc)
        ::ReleaseDC(wnd, dc);
    return dpi > 0 ? dpi : kScreenDpi;
}

// Tells the windows of this thread apart from a form's own while a modal form
// disables the others.
struct DisabledWindows {
    HWND keep;
    std::vector<HWND> list;
};

BOOL CALLBACK disableWindow(HWND wnd, LPARAM param)
{
    auto* state = reinterpret_cast<DisabledWindows*>(param);
    if (wnd != state->keep && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd)) {
        ::EnableWindow(wnd, FALSE);
        state->list.push_back(wnd);
    }
    return TRUE;
}

class ModalScope {
public:
    explicit ModalScope(HWND modal) : active_(::GetActiveWindow())
    {
        state_.keep = modal;
        ::EnumThreadWindows(::GetCurrentThreadId(), disableWindow, reinterpret_cast<LPARAM>(&state_));
    }
    ~ModalScope()
    {
        for (HWND wnd : state_.list)
            if (::IsWindow(wnd))
                ::EnableWindow(wnd, TRUE);
        if (active_ && ::IsWindow(active_))
            ::SetActiveWindow(active_);
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    DisabledWindows state_;
    HWND active_;
};

} // namespace

TForm::TForm(TComponent* owner, const FormDesign* design) : TControl(owner)
{
    TControl::setVisible(false);
    setColor(clBtnFace);
    setBounds(0, 0, 320, 240);
    Application.addForm(this);
    if (!design)
        return;
    try {
        loadDesign(*this, *design);
    } catch (...) {
        // The destructor does not run for a form that failed to build.
        destroyComponents();
        Application.removeForm(this);
        throw;
    }
}

TForm::~TForm()
{
    if (accessibleLink_)
        *accessibleLink_ = nullptr;
    destroyComponents();
    if (wnd_)
        ::DestroyWindow(wnd_);
    Application.removeForm(this);
}

const PropertyList& TForm::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.integer<TForm>(L"ClientWidth", &TForm::clientWidth, &TForm::setClientWidth);
        l.integer<TForm>(L"ClientHeight", &TForm::clientHeight, &TForm::setClientHeight);
        l.boolean<TForm>(L"KeyPreview", &TForm::keyPreview, &TForm::setKeyPreview);
        l.enumeration<TForm, TPosition>(L"Position", {L"designed", L"screenCenter"}, &TForm::position,
                                        &TForm::setPosition);
        l.boolean<TForm>(L"AutoScroll", &TForm::autoScroll, &TForm::setAutoScroll);
        l.enumeration<TForm, TBorderStyle>(L"BorderStyle", {L"none", L"single", L"sizeable", L"dialog"},
                                           &TForm::borderStyle, &TForm::setBorderStyle);
        l.event(L"OnCreate", &TForm::OnCreate);
        l.event(L"OnShow", &TForm::OnShow);
        l.event(L"OnHide", &TForm::OnHide);
        l.event(L"OnDestroy", &TForm::OnDestroy);
        l.event(L"OnKeyPress", &TForm::OnKeyPress);
        l.event(L"OnKeyDown", &TForm::OnKeyDown);
        l.event(L"OnKeyUp", &TForm::OnKeyUp);
        return l;
    }();
    return list;
}

void TForm::afterConstruction()
{
    if (OnCreate)
        OnCreate(this);
}

void TForm::beforeDestruction()
{
    if (!std::exchange(destroyed_, true) && OnDestroy)
        OnDestroy(this);
}

HWND TForm::handle()
{
    if (!wnd_)
        createHandle();
    return wnd_;
}

void TForm::createParams(TCreateParams& params)
{
    params.caption = caption();
    params.windowClassName = std::wstring(className());
    params.classStyle = 0;
    params.exStyle = 0;
    switch (borderStyle_) {
    case TBorderStyle::bsNone:
        params.style = WS_POPUP;
        break;
    case TBorderStyle::bsSingle:
    case TBorderStyle::bsDialog:
        params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER;
        break;
    case TBorderStyle::bsSizeable:
        params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        break;
    }
    params.style |= WS_CLIPCHILDREN;
}

void TForm::registerWindowClass(const TCreateParams& params)
{
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), params.windowClassName.c_str(), &existing))
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = params.classStyle;
    wc.lpfnWndProc = &TForm::windowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = params.windowClassName.c_str();
    if (!::RegisterClassExW(&wc))
        throw std::runtime_error("cannot register the window class of a form");
}

void TForm::createWindowHandle(const TCreateParams& params)
{
    registerWindowClass(params);
    RECT r{left(), top(), left() + scaled(width()), top() + scaled(height())};
    ::AdjustWindowRectEx(&r, params.style, FALSE, params.exStyle);
    ::CreateWindowExW(params.exStyle, params.windowClassName.c_str(), params.caption.c_str(), params.style, left(),
                      top(), r.right - r.left, r.bottom - r.top, params.parent, nullptr,
                      ::GetModuleHandleW(nullptr), this);
}

void TForm::createHandle()
{
    TCreateParams params;
    createParams(params);
    createWindowHandle(params);
    if (!wnd_)
        throw std::runtime_error("cannot create the window of a form");
    createChildWindows(*this);
    if (!dpiChosen_) {
        const int own = windowDpi(wnd_);
        if (own != dpi_)
            scaleTo(own);
        dpiChosen_ = false;
    }
}

void TForm::scaleTo(int dpi)
{
    dpiChosen_ = true;
    if (dpi <= 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    if (!wnd_)
        return;
    const RECT r = windowRectFor(left(), top(), width(), height());
    syncingBounds_ = true;
    ::SetWindowPos(wnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    syncingBounds_ = false;
    rescaleChildWindows(*this);
    ::InvalidateRect(wnd_, nullptr, FALSE);
}

void TForm::rescaleChildWindows(TControl& container)
{
    for (auto* c : container.controls()) {
        if (auto* w = dynamic_cast<TWinControl*>(c))
            w->followDpi();
        rescaleChildWindows(*c);
    }
}

void TForm::createChildWindows(TControl& container)
{
    for (auto* c : container.controls()) {
        // One hidden or folded away gets its window when it is first shown:
        // the first window then waits for no common control.
        if (auto* w = dynamic_cast<TWinControl*>(c); w && w->showing() && inClientArea(*w))
            w->createHandle(wnd_);
        createChildWindows(*c);
    }
}

RECT TForm::windowRectFor(int left, int top, int width, int height) const
{
    RECT frame{0, 0, 0, 0};
    if (wnd_)
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(wnd_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongPtrW(wnd_, GWL_EXSTYLE)));
    return {left, top, left + scaled(width) + frame.right - frame.left, top + scaled(height) + frame.bottom - frame.top};
}

void TForm::setBounds(int left, int top, int width, int height)
{
    TControl::setBounds(left, top, width, height);
    if (wnd_ && !syncingBounds_) {
        const RECT r = windowRectFor(this->left(), this->top(), this->width(), this->height());
        ::SetWindowPos(wnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        createChildWindows(*this);
    }
}

bool TForm::inClientArea(const TControl& control) const
{
    const POINT at = control.originInForm();
    return at.x < width() && at.y < height() && at.x + control.width() > 0 && at.y + control.height() > 0;
}

void TForm::placeOnScreen()
{
    if (position_ != TPosition::poScreenCenter)
        return;
    const RECT r = windowRectFor(0, 0, width(), height());
    const int w = r.right - r.left, h = r.bottom - r.top;
    setBounds((::GetSystemMetrics(SM_CXSCREEN) - w) / 2, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, width(),
              height());
}

void TForm::setVisible(bool value)
{
    if (value == visible())
        return;
    if (value) {
        handle();
        placeOnScreen();
        closed_ = false;
    }
    TControl::setVisible(value);
    ::ShowWindow(wnd_, value ? SW_SHOW : SW_HIDE);
    if (value && OnShow)
        OnShow(this);
    if (!value && OnHide)
        OnHide(this);
}

void TForm::textChanged()
{
    if (wnd_)
        ::SetWindowTextW(wnd_, caption().c_str());
}

int TForm::ShowModal()
{
    if (visible() || modal_)
        throw std::logic_error("a form already shown cannot be shown modally");
    ::ReleaseCapture();
    // Hidden and no longer modal however the loop ends, a handler's
    // exception included.
    struct EndModal {
        TForm& form;
        ~EndModal()
        {
            form.modal_ = false;
            form.closed_ = true;
            form.Hide();
        }
    } end{*this};
    // Ends before END: the other windows are enabled and the one that was
    // active is activated again before this one hides, else the system
    // activates another program's window and ours drop behind it.
    ModalScope scope(handle());
    modal_ = true;
    modalResult_ = mrNone;
    Show();
    ::SetActiveWindow(wnd_);
    while (modalResult_ == mrNone) {
        if (!Application.handleMessage())
            modalResult_ = mrCancel;
    }
    return modalResult_;
}

void TForm::setModalResult(int value)
{
    modalResult_ = value;
    if (modal_ && wnd_)
        ::PostMessageW(wnd_, WM_NULL, 0, 0);
}

void TForm::Close()
{
    closed_ = true;
    if (modal_) {
        if (modalResult_ == mrNone)
            setModalResult(mrCancel);
        return;
    }
    Hide();
    if (Application.mainForm() == this)
        Application.terminate();
}

TPicture TForm::paintToPicture()
{
    handle();
    TDibSurface surface(scaled(width()), scaled(height()));
    const win::Brush back(::CreateSolidBrush(backgroundColor(color())));
    const RECT all{0, 0, surface.width(), surface.height()};
    ::FillRect(surface.dc(), &all, back.get());
    scaleSurface(surface.dc(), dpi_);
    paintControls(surface.dc(), *this, {0, 0}, true);
    ::GdiFlush();
    return surface.toOpaquePicture();
}

namespace {

// Child windows paint themselves; the form's paint leaves their place alone
// (a form's style need not clip its children).
void excludeChildWindows(HDC dc, const TControl& container)
{
    for (auto* c : container.controls()) {
        if (auto* w = dynamic_cast<const TWinControl*>(c); w && w->handle() && ::IsWindowVisible(w->handle())) {
            RECT r;
            ::GetWindowRect(w->handle(), &r);
            ::MapWindowPoints(nullptr, ::GetParent(w->handle()), reinterpret_cast<POINT*>(&r), 2);
            ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
        excludeChildWindows(dc, *c);
    }
}

bool isUserInput(UINT msg)
{
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_KEYUP:
        return true;
    default:
        return false;
    }
}

} // namespace

void TForm::paintWindow()
{
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(wnd_, &ps);
    excludeChildWindows(dc, *this);
    RECT client;
    ::GetClientRect(wnd_, &client);
    if (client.right > 0 && client.bottom > 0) {
        TDibSurface surface(client.right, client.bottom);
        const win::Brush back(::CreateSolidBrush(backgroundColor(color())));
        ::FillRect(surface.dc(), &ps.rcPaint, back.get());
        ::IntersectClipRect(surface.dc(), ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
        scaleSurface(surface.dc(), dpi_);
        paintControls(surface.dc(), *this, {0, 0}, false);
        ::BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                 ps.rcPaint.bottom - ps.rcPaint.top, surface.dc(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    }
    ::EndPaint(wnd_, &ps);
}

void TForm::paintControls(HDC dc, const TControl& container, POINT origin, bool withWindows) const
{
    const TControl* cue = focusCue_ ? focusedControl() : nullptr;
    const RECT client = container.clientRect();
    origin.x += client.left;
    origin.y += client.top;
    for (auto* c : container.controls()) {
        if (!c->visible() || c->width() <= 0 || c->height() <= 0)
            continue;
        const POINT at{origin.x + c->left(), origin.y + c->top()};
        const int saved = ::SaveDC(dc);
        // The viewport's origin is in pixels of the buffer.
        ::SetViewportOrgEx(dc, scaled(at.x), scaled(at.y), nullptr);
        const bool overflow = dpi_ != kScreenDpi && c->overflowsWhenScaled();
        ::IntersectClipRect(dc, 0, 0, overflow ? width() : c->width(), c->height());
        if (!c->windowed()) {
            c->paint(dc);
        } else if (withWindows) {
            // A child window paints itself at its own, already scaled size.
            if (dpi_ != kScreenDpi)
                ::ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
            if (HWND child = static_cast<const TWinControl*>(c)->handle())
                ::SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                               PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
            if (dpi_ != kScreenDpi)
                scaleSurface(dc, dpi_);
        }
        paintControls(dc, *c, at, withWindows);
        if (c == cue) {
            const RECT r{kFocusInset, kFocusInset, c->width() - kFocusInset, c->height() - kFocusInset};
            if (highContrast()) {
                // A dotted line can vanish on a theme's colours: a solid
                // frame in the selection colour.
                // The system's own brush: not to be deleted.
                const HBRUSH frame = ::GetSysColorBrush(COLOR_HIGHLIGHT);
                for (int i = 0; i < kHighContrastFocusWidth; ++i) {
                    const RECT ring{r.left + i, r.top + i, r.right - i, r.bottom - i};
                    ::FrameRect(dc, &ring, frame);
                }
            } else {
                ::SetTextColor(dc, RGB(0, 0, 0));
                ::SetBkColor(dc, RGB(255, 255, 255));
                ::DrawFocusRect(dc, &r);
            }
        }
        ::RestoreDC(dc, saved);
    }
}

void TForm::invalidateArea(const TControl* control)
{
    if (!wnd_)
        return;
    const POINT at = control->originInForm();
    RECT r = scaled(RECT{at.x, at.y, at.x + control->width(), at.y + control->height()});
    // Rounding may give the control part of the pixel row beyond.
    if (dpi_ != kScreenDpi)
        ::InflateRect(&r, 1, 1);
    ::InvalidateRect(wnd_, &r, FALSE);
}

void TForm::update()
{
    if (wnd_)
        ::UpdateWindow(wnd_);
}

void TForm::controlRemoved(TControl* control)
{
    if (hovered_ == control)
        hovered_ = nullptr;
    if (captured_ == control)
        captured_ = nullptr;
    if (focused_ == control)
        focused_ = nullptr;
    for (auto*& g : guarded_)
        if (g == control)
            g = nullptr;
}

bool TForm::guardedCall(TControl* control, const std::function<void()>& call)
{
    guarded_.push_back(control);
    struct Pop {
        std::vector<TControl*>& list;
        ~Pop() { list.pop_back(); }
    } pop{guarded_};
    call();
    return guarded_.back() != nullptr;
}

LRESULT CALLBACK TForm::windowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->wnd_ = wnd;
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!form)
        return ::DefWindowProcW(wnd, msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    form->wndProc(message);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        form->wnd_ = nullptr;
    }
    return message.Result;
}

void TForm::defaultHandler(TMessage& m) { m.Result = ::DefWindowProcW(wnd_, m.Msg, m.WParam, m.LParam); }

void TForm::wndProc(TMessage& m)
{
    // The system gives a disabled window no input, but other programs may
    // post it some (automation, remote control): a form disabled under a
    // modal one acts on none. Nor does a closed one, until it is shown again:
    // presses queued while a handler ran (a second press of an exit button)
    // would run their handlers once more after the form has gone.
    if (isUserInput(m.Msg) && (!::IsWindowEnabled(wnd_) || closed_)) {
        defaultHandler(m);
        return;
    }
    switch (m.Msg) {
    case WM_PAINT:
        paintWindow();
        return;
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSELEAVE:
    case WM_CAPTURECHANGED:
    case WM_SETCURSOR:
        routeMouse(m);
        return;
    case WM_CHAR: {
        auto key = static_cast<wchar_t>(m.WParam);
        keyPress(key);
        if (key != 0) {
            m.WParam = key;
            defaultHandler(m);
        }
        return;
    }
    case WM_KEYDOWN:
    case WM_KEYUP: {
        auto key = static_cast<WORD>(m.WParam);
        const TShiftState shift = (::GetKeyState(VK_SHIFT) < 0 ? ssShift : 0) |
                                  (::GetKeyState(VK_CONTROL) < 0 ? ssCtrl : 0);
        auto& event = m.Msg == WM_KEYDOWN ? OnKeyDown : OnKeyUp;
        if (event)
            event(this, key, shift);
        if (key != 0)
            defaultHandler(m);
        return;
    }
    case WM_CLOSE:
        Close();
        return;
    case WM_GETOBJECT:
        if (static_cast<LONG>(m.LParam) == OBJID_CLIENT && answerAccessibleObject(m))
            return;
        defaultHandler(m);
        return;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // A high-contrast theme switched on or off, or its colours changed.
        refreshHighContrast();
        ::InvalidateRect(wnd_, nullptr, FALSE);
        defaultHandler(m);
        return;
    case WM_DPICHANGED: {
        // Moved to a monitor of another DPI: laid out for it at the place the
        // system suggests.
        const auto* suggested = reinterpret_cast<const RECT*>(m.LParam);
        dpi_ = LOWORD(m.WParam);
        dpiChosen_ = true;
        ::SetWindowPos(wnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        rescaleChildWindows(*this);
        ::InvalidateRect(wnd_, nullptr, FALSE);
        return;
    }
    case WM_WINDOWPOSCHANGED: {
        if (::IsIconic(wnd_))
            return;
        RECT window, client;
        ::GetWindowRect(wnd_, &window);
        ::GetClientRect(wnd_, &client);
        syncingBounds_ = true;
        TControl::setBounds(window.left, window.top, unscaled(client.right), unscaled(client.bottom));
        syncingBounds_ = false;
        return;
    }
    default:
        if (m.Msg == accessibleClickMessage()) {
            accessibleClick(m.WParam);
            return;
        }
        defaultHandler(m);
    }
}

void TForm::keyPress(wchar_t& key)
{
    if (OnKeyPress)
        OnKeyPress(this, key);
}

bool TForm::previewKey(MSG& msg)
{
    if (!keyPreview_ || msg.hwnd == wnd_ || !::IsWindowEnabled(wnd_))
        return true;
    if (msg.message == WM_CHAR) {
        auto key = static_cast<wchar_t>(msg.wParam);
        keyPress(key);
        msg.wParam = key;
        return key != 0;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
        auto key = static_cast<WORD>(msg.wParam);
        auto& event = msg.message == WM_KEYDOWN ? OnKeyDown : OnKeyUp;
        if (event)
            event(this, key, 0);
        msg.wParam = key;
        return key != 0;
    }
    return true;
}
