// Pages are opened by the desktop's shell, not by this elevated process.
#include "Process.h"

#include "ComPtr.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include <memory>

namespace {

constexpr wchar_t kOpenVerb[] = L"open";
constexpr DWORD kOpenWaitMs = 10000;

// A VARIANT cleared at the end of its scope.
struct Variant {
    VARIANT v;
    Variant() { ::VariantInit(&v); }
    explicit Variant(const wchar_t* text) : Variant()
    {
        v.vt = VT_BSTR;
        v.bstrVal = ::SysAllocString(text);
    }
    explicit Variant(int number) : Variant()
    {
        v.vt = VT_I4;
        v.lVal = number;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v); }
};

// The shell automation object of the desktop's own Explorer, reached through
// the desktop's shell view: its ShellExecute runs in Explorer, with
// Explorer's token. Null when any step of the way fails.
win::ComPtr<IShellDispatch2> desktopShell()
{
    win::ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.putVoid())))
        return {};
    Variant desktop(CSIDL_DESKTOP), noRoot;
    long desktopWindow = 0;
    win::ComPtr<IDispatch> found;
    if (windows->FindWindowSW(&desktop.v, &noRoot.v, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                              found.put()) != S_OK ||
        !found)
        return {};
    const auto provider = found.as<IServiceProvider>(IID_IServiceProvider);
    win::ComPtr<IShellBrowser> browser;
    if (!provider || FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())))
        return {};
    win::ComPtr<IShellView> view;
    win::ComPtr<IDispatch> background;
    if (FAILED(browser->QueryActiveShellView(view.put())) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) || !background)
        return {};
    const auto folderView = background.as<IShellFolderViewDual>(IID_IShellFolderViewDual);
    win::ComPtr<IDispatch> application;
    if (!folderView || FAILED(folderView->get_Application(application.put())) || !application)
        return {};
    return application.as<IShellDispatch2>(IID_IShellDispatch2);
}

// On a thread of its own (the call waits for Explorer, which may be slow to
// open the page or busy), in the multithreaded apartment: it needs no window
// of the caller's to pump messages.
DWORD WINAPI openThroughDesktop(void* parameter)
{
    const std::unique_ptr<std::wstring> target(static_cast<std::wstring*>(parameter));
    const win::ComInit com(COINIT_MULTITHREADED);
    const win::ComPtr<IShellDispatch2> shell = desktopShell();
    if (!shell)
        return 0;
    const Variant file(target->c_str()), noArguments, noFolder, verb(kOpenVerb), show(SW_SHOWMAXIMIZED);
    shell->ShellExecute(file.v.bstrVal, noArguments.v, noFolder.v, verb.v, show.v);
    return 0;
}

} // namespace

void openUrl(const std::wstring& target)
{
    auto parameter = std::make_unique<std::wstring>(target);
    const win::Handle thread(::CreateThread(nullptr, 0, openThroughDesktop, parameter.get(), 0, nullptr));
    if (!thread)
        return;
    parameter.release();
    // Bounded: a page that Explorer is slow to open must not hold the
    // window (or keep the uninstaller from ending); it may still open later.
    ::WaitForSingleObject(thread.get(), kOpenWaitMs);
}
