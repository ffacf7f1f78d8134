#include "ui/Forms.h"

#include <algorithm>
#include <set>

TApplication Application;

namespace {

constexpr wchar_t kUtilityClass[] = L"TApplicationUtility";

// Timers alive now: a WM_TIMER already queued when its timer went away is
// dropped instead of reaching freed memory.
std::set<TTimer*>& liveTimers()
{
    static std::set<TTimer*> timers;
    return timers;
}

LRESULT CALLBACK utilityProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(wParam);
        if (liveTimers().contains(timer))
            timer->tick();
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

} // namespace

void TApplication::setTitle(std::wstring title)
{
    title_ = std::move(title);
}

void TApplication::setMainForm(TForm* form)
{
    mainForm_ = form;
}

TForm* TApplication::findForm(std::wstring_view name) const
{
    for (auto* f : forms_)
        if (sameText(f->name(), name))
            return f;
    return nullptr;
}

void TApplication::addForm(TForm* form) { forms_.push_back(form); }

void TApplication::removeForm(TForm* form)
{
    std::erase(forms_, form);
    if (mainForm_ == form)
        setMainForm(nullptr);
}

void TApplication::run()
{
    if (mainForm_ && showMainForm_)
        mainForm_->Show();
    while (handleMessage()) {
    }
}

bool TApplication::handleMessage()
{
    if (terminated_)
        return false;
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        terminated_ = true;
        return false;
    }
    dispatch(msg);
    return true;
}

void TApplication::processMessages()
{
    MSG msg;
    while (!terminated_ && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        dispatch(msg);
    }
}

void TApplication::dispatch(MSG& msg)
{
    if (msg.message == WM_CHAR || msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
        const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        const auto it = std::find_if(forms_.begin(), forms_.end(), [root](TForm* f) {
            return f->handleAllocated() && f->handle() == root;
        });
        // Navigation keys are used before they become characters.
        if (it != forms_.end() && ((*it)->navigationKey(msg) || !(*it)->previewKey(msg)))
            return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

void TApplication::terminate() { ::PostQuitMessage(0); }

HWND TApplication::utilityWindow()
{
    if (!utility_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = utilityProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kUtilityClass;
        ::RegisterClassExW(&wc);
        utility_ = ::CreateWindowExW(0, kUtilityClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
    }
    return utility_;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner)
{
    liveTimers().insert(this);
    update();
}

TTimer::~TTimer()
{
    liveTimers().erase(this);
    if (running_)
        ::KillTimer(Application.utilityWindow(), reinterpret_cast<UINT_PTR>(this));
}

const PropertyList& TTimer::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TComponent::publishedProperties();
        l.integer<TTimer>(L"Interval", &TTimer::interval, &TTimer::setInterval);
        l.boolean<TTimer>(L"Enabled", &TTimer::enabled, &TTimer::setEnabled);
        l.event(L"OnTimer", &TTimer::OnTimer);
        return l;
    }();
    return list;
}

void TTimer::setInterval(int ms)
{
    interval_ = ms;
    update();
}

void TTimer::setEnabled(bool value)
{
    enabled_ = value;
    update();
}

void TTimer::update()
{
    const HWND wnd = Application.utilityWindow();
    const auto id = reinterpret_cast<UINT_PTR>(this);
    if (running_)
        ::KillTimer(wnd, id);
    running_ = enabled_ && interval_ > 0 && !loading() && ::SetTimer(wnd, id, static_cast<UINT>(interval_), nullptr);
}

void TTimer::tick()
{
    if (OnTimer)
        OnTimer(this);
}
