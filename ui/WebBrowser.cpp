#include "ui/WebBrowser.h"

#include "ui/Forms.h"

#include "system/ComPtr.h"

#include <exdisp.h>
#include <ole2.h>
#include <oleauto.h>

#include <optional>

namespace {

constexpr wchar_t kHostClass[] = L"InstallerWebBrowserHost";

// OleInitialize for as long as the browser is in place: in-place activation
// needs OLE, not only COM, on the thread.
class OleInit {
public:
    OleInit() : hr_(::OleInitialize(nullptr)) {}
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;
    ~OleInit()
    {
        if (SUCCEEDED(hr_))
            ::OleUninitialize();
    }

private:
    HRESULT hr_;
};

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(text_); }
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

void registerHostClass(WNDPROC hostProc)
{
    static const bool registered = [hostProc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = hostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        // Blank where no page is shown.
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kHostClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

} // namespace

// The container side of the in-place browser: client site, in-place site and
// frame in one reference-counted object, tied to the host window.
class TWebBrowser::Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit Site(HWND host) : host_(host) {}

    // Creates the browser and puts it in place; false (and a blank window)
    // when the system cannot.
    bool attach()
    {
        ole_.emplace();
        if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                      object_.putVoid()))) {
            detach();
            return false;
        }
        ::OleSetContainedObject(object_.get(), TRUE);
        RECT area{};
        ::GetClientRect(host_, &area);
        if (FAILED(object_->SetClientSite(this)) ||
            FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host_, &area))) {
            detach();
            return false;
        }
        browser_ = object_.as<IWebBrowser2>(IID_IWebBrowser2);
        inPlace_ = object_.as<IOleInPlaceObject>(IID_IOleInPlaceObject);
        if (!browser_ || !inPlace_) {
            detach();
            return false;
        }
        browser_->put_Silent(VARIANT_TRUE);
        return true;
    }

    // Takes the browser out of the window and lets it go; safe to repeat.
    void detach()
    {
        if (inPlace_)
            inPlace_->InPlaceDeactivate();
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
            ::OleSetContainedObject(object_.get(), FALSE);
        }
        browser_.reset();
        inPlace_.reset();
        object_.reset();
        ole_.reset();
    }

    bool active() const { return browser_ && inPlace_; }

    void navigate(const std::wstring& url)
    {
        if (!browser_)
            return;
        const Bstr address(url);
        VARIANT none;
        ::VariantInit(&none);
        browser_->Navigate(address.get(), &none, &none, &none, &none);
    }

    void resize()
    {
        if (!inPlace_)
            return;
        RECT area{};
        ::GetClientRect(host_, &area);
        inPlace_->SetObjectRects(&area, &area);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (of the in-place site and of the frame)
    STDMETHODIMP GetWindow(HWND* wnd) override
    {
        if (!wnd)
            return E_POINTER;
        *wnd = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        if (!frame || !document || !position || !clip || !info)
            return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        ::GetClientRect(host_, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = ::GetAncestor(host_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT area) override
    {
        if (inPlace_ && area)
            inPlace_->SetObjectRects(area, area);
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or
    // status line to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~Site() { detach(); }

    LONG refs_ = 1;
    HWND host_;
    std::optional<OleInit> ole_;
    win::ComPtr<IOleObject> object_;
    win::ComPtr<IOleInPlaceObject> inPlace_;
    win::ComPtr<IWebBrowser2> browser_;
};

LRESULT CALLBACK TWebBrowser::hostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* site = reinterpret_cast<TWebBrowser::Site*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_SIZE:
        if (site)
            site->resize();
        break;
    case WM_DESTROY:
        // The browser's windows go with this one: take it out first.
        if (site)
            site->detach();
        break;
    default:
        break;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

TWebBrowser::TWebBrowser(TComponent* owner) : TWinControl(owner)
{
    setColor(clWhite);
    setBounds(0, 0, 300, 150);
}

TWebBrowser::~TWebBrowser()
{
    if (site_) {
        if (handle())
            ::SetWindowLongPtrW(handle(), GWLP_USERDATA, 0);
        site_->detach();
        site_->Release();
    }
}

void TWebBrowser::Navigate(const std::wstring& url)
{
    url_ = url;
    if (site_)
        site_->navigate(url_);
}

bool TWebBrowser::browserActive() const { return site_ && site_->active(); }

HWND TWebBrowser::createWindow(HWND formWindow)
{
    registerHostClass(hostProc);
    HWND host = ::CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, width(),
                                  height(), formWindow, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!host)
        return nullptr;
    site_ = new Site(host);
    ::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site_));
    site_->attach();
    return host;
}

void TWebBrowser::initWindow()
{
    if (!url_.empty())
        Navigate(url_);
}
