// TWebBrowser: the system's WebBrowser control hosted in place in a child
// window of the form (an OLE container of our own). Where the control cannot
// be created or shown, the area stays blank and navigating does nothing.
#pragma once

#include "ui/Controls.h"

#include <memory>
#include <string>

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

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override;

private:
    class Site;
    static LRESULT CALLBACK hostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

    std::wstring url_;
    // Lives as long as the browser holds it (reference counted), at most as
    // long as the control keeps it in place.
    Site* site_ = nullptr;
};
