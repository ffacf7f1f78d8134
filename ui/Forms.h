// Forms (borderless top-level windows that paint their windowless controls
// into one back buffer), the application object and timers.
#pragma once

#include "ui/Controls.h"
#include "ui/Picture.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TForm;

// One entry of a form class's handler table: the name a design uses and how
// to bind it to a form object of that class.
struct HandlerEntry {
    std::wstring_view name;
    std::function<TEventHandler(TForm&)> bind;
};

template <class F>
HandlerEntry handler(std::wstring_view name, void (F::*method)(TComponent*))
{
    return {name, [method](TForm& form) {
                return TEventHandler(TNotifyEvent([&form, method](TComponent* sender) {
                    (static_cast<F&>(form).*method)(sender);
                }));
            }};
}

template <class F>
HandlerEntry handler(std::wstring_view name, void (F::*method)(TComponent*, TMouseButton, TShiftState, int, int))
{
    return {name, [method](TForm& form) {
                return TEventHandler(TMouseEvent([&form, method](TComponent* s, TMouseButton b, TShiftState sh,
                                                                 int x, int y) {
                    (static_cast<F&>(form).*method)(s, b, sh, x, y);
                }));
            }};
}

template <class F>
HandlerEntry handler(std::wstring_view name, void (F::*method)(TComponent*, wchar_t&))
{
    return {name, [method](TForm& form) {
                return TEventHandler(TKeyPressEvent([&form, method](TComponent* s, wchar_t& key) {
                    (static_cast<F&>(form).*method)(s, key);
                }));
            }};
}

template <class F>
HandlerEntry handler(std::wstring_view name, void (F::*method)(TComponent*, TMessage&))
{
    return {name, [method](TForm& form) {
                return TEventHandler(TOnMouseEvent([&form, method](TComponent* s, TMessage& m) {
                    (static_cast<F&>(form).*method)(s, m);
                }));
            }};
}

// What a form class is built from: its design resource (type "DESIGN") and
// the handlers its design may name.
struct FormDesign {
    std::wstring_view resource;
    std::vector<HandlerEntry> handlers;
};

struct TCreateParams {
    std::wstring caption;
    DWORD style = 0;
    DWORD exStyle = 0;
    UINT classStyle = 0;
    std::wstring windowClassName;
    HWND parent = nullptr;
};

enum class TPosition { poDesigned, poScreenCenter };
enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class TForm : public TControl {
public:
    // With a design, the controls, their places and the design's handlers
    // come from it (std::runtime_error when the design is broken).
    explicit TForm(TComponent* owner, const FormDesign* design = nullptr);
    ~TForm() override;

    std::wstring_view className() const override { return L"TForm"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    TForm* form() const override { return const_cast<TForm*>(this); }
    bool acceptsControls() const override { return true; }

    // Width and height of a form are those of its client area; left and top
    // are the window's place on the screen.
    int clientWidth() const { return width(); }
    int clientHeight() const { return height(); }
    void setClientWidth(int v) { setWidth(v); }
    void setClientHeight(int v) { setHeight(v); }
    void setBounds(int left, int top, int width, int height) override;
    void setVisible(bool value) override;

    HWND handle();
    bool handleAllocated() const { return wnd_ != nullptr; }
    // Whether any of the control lies inside the client area: a folded row
    // below it can be neither seen nor reached.
    bool inClientArea(const TControl& control) const;

    // The dots per inch the form is laid out for. Designs and control bounds
    // stay in 96-DPI units; the window, its painting, the mouse and the child
    // windows are scaled. A new window takes its monitor's DPI unless one
    // was chosen before (a picture painted at a given DPI).
    int dpi() const { return dpi_; }
    void scaleTo(int dpi);
    // A length or rectangle of the design in pixels of the window, and back.
    int scaled(int value) const { return ::MulDiv(value, dpi_, kScreenDpi); }
    RECT scaled(const RECT& r) const { return {scaled(r.left), scaled(r.top), scaled(r.right), scaled(r.bottom)}; }
    int unscaled(int value) const { return ::MulDiv(value, kScreenDpi, dpi_); }

    bool keyPreview() const { return keyPreview_; }
    void setKeyPreview(bool v) { keyPreview_ = v; }
    TPosition position() const { return position_; }
    void setPosition(TPosition v) { position_ = v; }
    bool autoScroll() const { return autoScroll_; }
    void setAutoScroll(bool v) { autoScroll_ = v; }
    TBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(TBorderStyle v) { borderStyle_ = v; }

    void Show() { setVisible(true); }
    void Hide() { setVisible(false); }
    // Shows the form and runs messages until a modal result is set; every
    // other window of the thread is disabled meanwhile.
    int ShowModal();
    // A modal form ends with Cancel; another form hides, and the main form
    // ends the application.
    void Close();
    int modalResult() const { return modalResult_; }
    // Set from anywhere, a sent message's handler included: the modal loop
    // is woken to see it (a sent message does not end the wait for one).
    void setModalResult(int value);
    bool modal() const { return modal_; }

    // Fire OnCreate once the form object is complete and OnDestroy while it
    // still is (makeForm and its deleter call them).
    void afterConstruction();
    void beforeDestruction();

    // The client area as it would be on screen, child windows included,
    // whether the form is shown or not.
    TPicture paintToPicture();

    // The top-most control under a point of the client area; disabled ones
    // only when ALLOWDISABLED (the pointer's enter and leave reach them, a
    // press goes to what is beneath).
    TControl* controlAt(POINT client, bool allowDisabled) const;
    TControl* hoveredControl() const { return hovered_; }

    // For controls: area to paint again, paint now, a control going away,
    // and running code that may destroy CONTROL (false when it did).
    void invalidateArea(const TControl* control);
    void update();
    void controlRemoved(TControl* control);
    bool guardedCall(TControl* control, const std::function<void()>& call);
    // Keyboard navigation among the windowless controls that act on a
    // click, in reading order (top to bottom, then left to right): those
    // that show inside the client area and are enabled.
    std::vector<TControl*> tabOrder() const;
    // The control Enter and Space act on: the one Tab reached, else the
    // default control of what shows.
    TControl* focusedControl() const;
    // CUE: the focus rectangle shows (the keyboard is in use).
    void setFocusedControl(TControl* control, bool cue);
    bool focusCueShown() const { return focusCue_; }
    // Tab, Shift+Tab, Enter, Space and Esc of a key press meant for the form
    // or one of its child windows: true when the press was used.
    bool navigationKey(const MSG& msg);
    // The controls assistive programs see, child id N being the Nth: the
    // windowless ones with an accessible kind and the child windows.
    std::vector<TControl*> accessibleChildren() const;
    // Tells assistive programs about EVENT (a new name or value, focus) of
    // CONTROL, by its child id, while the window shows.
    void notifyAccessible(const TControl* control, DWORD event) const;
    // Posted by the accessible object's default action: WPARAM is the id.
    static UINT accessibleClickMessage();
    // Key preview of keys sent to the form's child windows: false when the
    // form consumed the key. A disabled form previews nothing.
    bool previewKey(MSG& msg);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnDestroy;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

protected:
    virtual void createParams(TCreateParams& params);
    virtual void createWindowHandle(const TCreateParams& params);
    virtual void wndProc(TMessage& message);
    void defaultHandler(TMessage& message);
    void textChanged() override;
    // The window, or nullptr while it does not exist (never creates it).
    HWND existingHandle() const { return wnd_; }

    void keyPress(wchar_t& key);

private:
    static LRESULT CALLBACK windowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void createHandle();
    void registerWindowClass(const TCreateParams& params);
    RECT windowRectFor(int left, int top, int width, int height) const;
    void placeOnScreen();
    void paintWindow();
    void paintControls(HDC dc, const TControl& container, POINT origin, bool withWindows) const;
    void routeMouse(TMessage& message);
    void setHovered(TControl* control);
    void createChildWindows(TControl& container);
    // Child windows follow a new DPI: places and fonts.
    void rescaleChildWindows(TControl& container);
    bool canFocus(const TControl& control) const;
    bool answerAccessibleObject(TMessage& message);
    void accessibleClick(WPARAM id);
    TControl* cancelControl() const;

    HWND wnd_ = nullptr;
    int dpi_ = kScreenDpi;
    bool dpiChosen_ = false;
    bool keyPreview_ = false;
    TPosition position_ = TPosition::poDesigned;
    bool autoScroll_ = false;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    int modalResult_ = mrNone;
    bool modal_ = false;
    // Closed and not shown since: acts on no input.
    bool closed_ = false;
    bool destroyed_ = false;
    bool syncingBounds_ = false;
    bool trackingLeave_ = false;
    TControl* hovered_ = nullptr;
    TControl* captured_ = nullptr;
    TControl* focused_ = nullptr;
    bool focusCue_ = false;
    std::vector<TControl*> guarded_;
    // Shared with the accessible objects handed out; cleared when the form
    // goes, so that a late call from an assistive program finds nothing.
    std::shared_ptr<TForm*> accessibleLink_;
};

struct FormDeleter {
    void operator()(TForm* form) const
    {
        form->beforeDestruction();
        delete form;
    }
};

template <class F>
using FormPtr = std::unique_ptr<F, FormDeleter>;

// Creates a form and, once the object is complete, fires its OnCreate; the
// owner it returns fires OnDestroy before the form goes.
template <class F, class... Args>
FormPtr<F> makeForm(Args&&... args)
{
    FormPtr<F> form(new F(std::forward<Args>(args)...));
    form->afterConstruction();
    return form;
}

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    std::wstring_view className() const override { return L"TTimer"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    int interval() const { return interval_; }
    void setInterval(int ms);
    bool enabled() const { return enabled_; }
    void setEnabled(bool value);
    // Called by the application's utility window.
    void tick();

    TNotifyEvent OnTimer;

protected:
    void loaded() override { update(); }

private:
    void update();

    int interval_ = 1000;
    bool enabled_ = true;
    bool running_ = false;
};

class TApplication {
public:
    const std::wstring& title() const { return title_; }
    void setTitle(std::wstring title);
    TForm* mainForm() const { return mainForm_; }
    void setMainForm(TForm* form);
    // Every form in creation order.
    const std::vector<TForm*>& forms() const { return forms_; }
    TForm* findForm(std::wstring_view name) const;

    // Whether run() shows the main form (a silent or refused start does not).
    bool showMainForm() const { return showMainForm_; }
    void setShowMainForm(bool value) { showMainForm_ = value; }
    // Shows the main form (see showMainForm) and runs the message loop
    // until Terminate.
    void run();
    // Handles every pending message and returns.
    void processMessages();
    // Waits for one message and handles it; false once the loop must end.
    bool handleMessage();
    // Asks the message loop to end.
    void terminate();
    bool terminated() const { return terminated_; }

    // A hidden window for timers and hand-offs from other threads.
    HWND utilityWindow();

    void addForm(TForm* form);
    void removeForm(TForm* form);

private:
    void dispatch(MSG& msg);

    std::wstring title_;
    TForm* mainForm_ = nullptr;
    std::vector<TForm*> forms_;
    bool terminated_ = false;
    bool showMainForm_ = true;
    HWND utility_ = nullptr;
};

extern TApplication Application;

// The component NAME of OWNER as a T; std::runtime_error when the design
// lacks it or it is of another kind.
template <class T>
T* designComponent(TComponent& owner, std::wstring_view name)
{
    auto* component = dynamic_cast<T*>(owner.findComponent(name));
    if (!component)
        throw std::runtime_error("a window design lacks one of its controls");
    return component;
}
