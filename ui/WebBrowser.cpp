#include "ui/WebBrowser.h"

#include "ui/Forms.h"

#include "system/ComPtr.h"
#include "system/Process.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cwctype>
#include <optional>

namespace {

constexpr wchar_t kHostClass[] = L"InstallerWebBrowserHost";
constexpr std::wstring_view kBlankPage = L"about:blank";
constexpr std::wstring_view kSchemeEnd = L"://";
constexpr std::wstring_view kHttp = L"http";
constexpr std::wstring_view kHttps = L"https";
constexpr std::wstring_view kAuthorityEnd = L"/?#\\";
constexpr std::wstring_view kDefaultHttpPort = L"80";
constexpr std::wstring_view kDefaultHttpsPort = L"443";

// Scheme, host and port of a web address, in lower case, the port always
// written out.
struct Origin {
    std::wstring scheme, host, port;
    bool operator==(const Origin&) const = default;
};

std::wstring lower(std::wstring_view text)
{
    std::wstring result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return result;
}

bool originOf(std::wstring_view url, Origin& origin)
{
    const size_t schemeEnd = url.find(kSchemeEnd);
    if (schemeEnd == std::wstring_view::npos)
        return false;
    origin.scheme = lower(url.substr(0, schemeEnd));
    if (origin.scheme != kHttp && origin.scheme != kHttps)
        return false;
    std::wstring_view authority = url.substr(schemeEnd + kSchemeEnd.size());
    authority = authority.substr(0, authority.find_first_of(kAuthorityEnd));
    // A user name before the host is a way to dress one host as another.
    if (authority.empty() || authority.find(L'@') != std::wstring_view::npos)
        return false;
    const size_t colon = authority.rfind(L':');
    const size_t bracket = authority.rfind(L']');
    const bool hasPort = colon != std::wstring_view::npos && (bracket == std::wstring_view::npos || colon > bracket);
    origin.host = lower(authority.substr(0, hasPort ? colon : authority.size()));
    origin.port = hasPort ? std::wstring(authority.substr(colon + 1)) : std::wstring();
    if (origin.port.empty())
        origin.port = origin.scheme == kHttps ? kDefaultHttpsPort : kDefaultHttpPort;
    return !origin.host.empty() &&
           std::all_of(origin.port.begin(), origin.port.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

bool isWebPage(const std::wstring& url)
{
    Origin origin;
    return originOf(url, origin);
}

// The argument at POSITION (as the event declares them; they arrive last
// first), by value or behind a reference.
const VARIANT& argument(const DISPPARAMS& params, UINT position)
{
    const VARIANT& v = params.rgvarg[params.cArgs - 1 - position];
    return v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal ? *v.pvarVal : v;
}

std::wstring text(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal) : std::wstring(); }

void setCancelFlag(const VARIANT& v, bool cancel)
{
    if (v.vt == (VT_BOOL | VT_BYREF) && v.pboolVal)
        *v.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

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

bool isInsideBrowserFence(const std::wstring& url, const std::vector<std::wstring>& pages)
{
    if (url == kBlankPage)
        return true;
    Origin target;
    if (!originOf(url, target))
        return false;
    return std::any_of(pages.begin(), pages.end(), [&](const std::wstring& page) {
        Origin allowed;
        return originOf(page, allowed) && allowed == target;
    });
}

// The container side of the in-place browser: client site, in-place site,
// frame, document host (no window.external, no context menu) and the sink
// of the browser's events in one reference-counted object, tied to the host
// window.
class TWebBrowser::Site final : public IOleClientSite,
                                public IOleInPlaceSite,
                                public IOleInPlaceFrame,
                                public IDocHostUIHandler,
                                public IDispatch {
public:
    Site(HWND host, TWebBrowser& owner) : host_(host), owner_(&owner) {}

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
        // Without its events the browser would be unfenced: no browser then.
        const auto points = object_.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
        if (!points || FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.put())) ||
            FAILED(events_->Advise(static_cast<IDispatch*>(this), &cookie_))) {
            events_.reset();
            detach();
            return false;
        }
        return true;
    }

    // Takes the browser out of the window and lets it go; safe to repeat.
    void detach()
    {
        owner_ = nullptr;
        if (events_)
            events_->Unadvise(cookie_);
        events_.reset();
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
        else if (iid == IID_IDocHostUIHandler)
            *out = static_cast<IDocHostUIHandler*>(this);
        else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
            *out = static_cast<IDispatch*>(this);
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

    // IDocHostUIHandler: the page's scripts get no object of ours, the page
    // no context menu (no "open in new window", "save target as", source).
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override
    {
        if (!info)
            return E_POINTER;
        info->dwFlags = 0;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override
    {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override
    {
        if (key)
            *key = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override
    {
        if (target)
            *target = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override
    {
        if (external)
            *external = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override
    {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override
    {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: the browser's events (DWebBrowserEvents2); no ambient
    // property of ours.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (!params || !owner_)
            return DISP_E_MEMBERNOTFOUND;
        switch (id) {
        case DISPID_BEFORENAVIGATE2:
            if (params->cArgs == 7) {
                const VARIANT& who = argument(*params, 0);
                setCancelFlag(argument(*params, 6),
                          owner_->beforeNavigate(text(argument(*params, 1)),
                                                 who.vt == VT_DISPATCH && isBrowser(who.pdispVal)));
            }
            return S_OK;
        case DISPID_NEWWINDOW3:
            if (params->cArgs == 5)
                setCancelFlag(argument(*params, 1), owner_->newWindow(text(argument(*params, 4))));
            return S_OK;
        case DISPID_NEWWINDOW2:
            // Only where the system has no NewWindow3 (no address to open).
            if (params->cArgs == 2)
                setCancelFlag(argument(*params, 1), true);
            return S_OK;
        case DISPID_FILEDOWNLOAD:
            if (params->cArgs == 2) {
                const VARIANT& document = argument(*params, 0);
                setCancelFlag(argument(*params, 1),
                          TWebBrowser::fileDownload(document.vt == VT_BOOL && document.boolVal != VARIANT_FALSE));
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ~Site() { detach(); }

    // True when OBJECT is the browser itself, not one of its frames.
    bool isBrowser(IDispatch* object) const
    {
        if (!object || !browser_)
            return false;
        win::ComPtr<IUnknown> self, other;
        browser_->QueryInterface(IID_IUnknown, self.putVoid());
        object->QueryInterface(IID_IUnknown, other.putVoid());
        return self && self.get() == other.get();
    }

    LONG refs_ = 1;
    HWND host_;
    TWebBrowser* owner_;
    DWORD cookie_ = 0;
    win::ComPtr<IConnectionPoint> events_;
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

IDispatch* TWebBrowser::eventSink() const { return browserActive() ? static_cast<IDispatch*>(site_) : nullptr; }

bool TWebBrowser::beforeNavigate(const std::wstring& url, bool wholeBrowser)
{
    if (isInsideBrowserFence(url, pages_))
        return false;
    if (wholeBrowser)
        openOutside(url);
    return true;
}

bool TWebBrowser::newWindow(const std::wstring& url)
{
    openOutside(url);
    return true;
}

void TWebBrowser::openOutside(const std::wstring& url) const
{
    // Web pages only: a local file or another scheme's handler is not
    // started for a page's link.
    if (!isWebPage(url))
        return;
    if (opener_)
        opener_(url);
    else
        openUrl(url);
}

HWND TWebBrowser::createWindow(HWND formWindow)
{
    registerHostClass(hostProc);
    HWND host = ::CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, width(),
                                  height(), formWindow, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!host)
        return nullptr;
    site_ = new Site(host, *this);
    ::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site_));
    site_->attach();
    return host;
}

void TWebBrowser::initWindow()
{
    if (!url_.empty())
        Navigate(url_);
}
