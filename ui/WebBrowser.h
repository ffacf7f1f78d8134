// TWebBrowser: the system's WebBrowser control hosted in place in a child
// window of the form (an OLE container of our own). Where the control cannot
// be created or shown, the area stays blank and navigating does nothing.
//
// The control runs inside an elevated process and shows pages fetched over
// plain HTTP, so it is fenced: it shows only pages of the origins (scheme,
// host and port) of the pages it is given; a link elsewhere and every new
// window go to the user's own browser, opened unelevated by the desktop's
// shell; downloads and local files are refused; page scripts get no object
// of the host (window.external is empty) and no context menu.
#pragma once

#include "ui/Controls.h"

#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// True when the browser may show URL: "about:blank", or a web address of
// the same scheme, host and port as one of PAGES. Addresses with a user
// name, of another scheme or that cannot be read are not.
bool isInsideBrowserFence(const std::wstring& url, const std::vector<std::wstring>& pages);

class TWebBrowser : public TWinControl {
public:
    explicit TWebBrowser(TComponent* owner);
    ~TWebBrowser() override;
    std::wstring_view className() const override { return L"TWebBrowser"; }

    // Loads URL; before the window exists the address is kept and loaded once
    // it does. Script errors of the page are not shown.
    void Navigate(const std::wstring& url);
    // The address last asked for (empty before the first Navigate).
    const std::wstring& url() const { return url_; }
    // True while the system's control is in place in the window.
    bool browserActive() const;

    // The pages whose origins the browser may show (none: only about:blank).
    void setAllowedPages(std::vector<std::wstring> pages) { pages_ = std::move(pages); }
    // What opens a web page in the user's own browser; the desktop's shell
    // (openUrl) unless a test puts another.
    void setPageOpener(std::function<void(const std::wstring&)> opener) { opener_ = std::move(opener); }

    // The answers to the control's events; true cancels. A navigation
    // outside the fence is cancelled; a web page the whole browser would go
    // to is opened in the user's browser, a frame's is not. A new window is
    // never opened inside: its page goes to the user's browser when it is a
    // web page. Downloads (anything not shown as a document) are cancelled.
    bool beforeNavigate(const std::wstring& url, bool wholeBrowser);
    bool newWindow(const std::wstring& url);
    static bool fileDownload(bool shownAsDocument) { return !shownAsDocument; }
    // Where the control sends its events (DWebBrowserEvents2); null while
    // it is not in place. Tests call it as the control would.
    IDispatch* eventSink() const;

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override;

private:
    class Site;
    static LRESULT CALLBACK hostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // A web page elsewhere, to the user's browser.
    void openOutside(const std::wstring& url) const;

    std::wstring url_;
    std::vector<std::wstring> pages_;
    std::function<void(const std::wstring&)> opener_;
    // Lives as long as the browser holds it (reference counted), at most as
    // long as the control keeps it in place.
    Site* site_ = nullptr;
};
