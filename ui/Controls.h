// Controls: components with a place on a form. Most are windowless: the form
// paints them into its back buffer and routes the mouse to them. Controls
// that must be real child windows derive from TWinControl.
#pragma once

#include "ui/Component.h"
#include "ui/Graphics.h"

#include <windows.h>

#include <string>
#include <vector>

class TForm;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TCursor { crDefault, crArrow, crHandPoint, crIBeam };
// What a windowless control is to assistive programs (screen readers).
enum class TAccessibleKind { None, Button, Text, Link, Graphic };

// The shift state of a mouse message's key flags.
TShiftState shiftFromKeys(WPARAM keys);

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    std::wstring_view className() const override { return L"TControl"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    TControl* parent() const { return parent_; }
    virtual void setParent(TControl* parent);
    // Children, back to front.
    const std::vector<TControl*>& controls() const { return controls_; }
    virtual bool acceptsControls() const { return false; }
    // The form the control sits on (itself for a form).
    virtual TForm* form() const;

    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void setLeft(int v) { setBounds(v, top_, width_, height_); }
    void setTop(int v) { setBounds(left_, v, width_, height_); }
    void setWidth(int v) { setBounds(left_, top_, v, height_); }
    void setHeight(int v) { setBounds(left_, top_, width_, v); }
    virtual void setBounds(int left, int top, int width, int height);
    RECT boundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    // The area children are placed in, in the control's own coordinates.
    virtual RECT clientRect() const { return {0, 0, width_, height_}; }
    // The control's top-left corner in its form's client coordinates.
    POINT originInForm() const;

    TAlign align() const { return align_; }
    void setAlign(TAlign align);
    bool autoSize() const { return autoSize_; }
    virtual void setAutoSize(bool value);
    bool visible() const { return visible_; }
    virtual void setVisible(bool value);
    // Visible together with every parent up to the form.
    bool showing() const;
    bool enabled() const { return enabled_; }
    virtual void setEnabled(bool value);

    TFont& font() { return font_; }
    const TFont& font() const { return font_; }
    bool parentFont() const { return parentFont_; }
    void setParentFont(bool value);
    TColor color() const { return color_; }
    void setColor(TColor color);
    bool parentColor() const { return parentColor_; }
    void setParentColor(bool value);
    // The colour a transparent child shows through to.
    TColor effectiveColor() const;
    TCursor cursor() const { return cursor_; }
    void setCursor(TCursor cursor) { cursor_ = cursor; }
    const std::wstring& caption() const { return caption_; }
    void setCaption(std::wstring caption);
    const std::wstring& hint() const { return hint_; }
    void setHint(std::wstring hint) { hint_ = std::move(hint); }
    bool showHint() const { return showHint_; }
    void setShowHint(bool value) { showHint_ = value; }

    // Marks the control for painting; repaint() paints at once.
    void invalidate();
    void repaint();

    // Paints the control; DC's origin is the control's top-left corner and
    // its clip the control's rectangle.
    virtual void paint(HDC dc);
    // What the control paints may run past its right edge (into its
    // parent) when the form is scaled above 96 DPI.
    virtual bool overflowsWhenScaled() const { return false; }
    // A real child window, painted by itself.
    virtual bool windowed() const { return false; }

    // Mouse input from the form, positions relative to the control.
    virtual void dispatchMouse(TMessage& message);

    // Takes part in the form's keyboard navigation: whatever acts on a click.
    virtual bool tabStop() const { return static_cast<bool>(OnClick); }
    // Enter acts on the default control of what shows when no other has the
    // keyboard; Esc on the cancel control.
    bool isDefault() const { return default_; }
    void setDefault(bool value) { default_ = value; }
    bool isCancel() const { return cancel_; }
    void setCancel(bool value) { cancel_ = value; }
    // The access key a caption marks ("&X", "(&X)"; "&&" stands for "&"),
    // upper-cased: Alt with it acts as a click. Only controls that act on a
    // click have one; 0 for none.
    wchar_t accessKey() const;
    // The caption as shown and named: without its access key's mark.
    std::wstring displayCaption() const;
    // DrawText flags for the caption: "&" printed as is, or the access key
    // underlined (hidden until the keyboard is used, unless the system
    // always shows keyboard cues).
    UINT prefixFlags() const;
    // Acts as a click of the user's (keyboard, assistive programs).
    void performClick();
    // A button when it acts on a click, text where it has a caption, a
    // picture where the design describes it (Hint); else not shown to
    // assistive programs. Their name is the caption, else the description.
    virtual TAccessibleKind accessibleKind() const;

    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    virtual void click();
    virtual void mouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void mouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void mouseMove(TShiftState shift, int x, int y);
    virtual void mouseEnter();
    virtual void mouseLeave();

    // With AutoSize on: may change the size the control is given.
    virtual bool canAutoSize(int& width, int& height);
    // Re-computes the size from the content (AutoSize).
    virtual void adjustSize();
    virtual void fontChanged();
    virtual void textChanged() { invalidate(); }
    virtual void boundsChanged() {}
    virtual void visibilityChanged();
    // Lays out the aligned children inside clientRect().
    void realign();
    void loaded() override;

private:
    // The control's place on the form changed: child windows follow.
    void moveChildWindows();
    void parentFontChanged();
    void parentColorChanged();

    TControl* parent_ = nullptr;
    std::vector<TControl*> controls_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = TAlign::alNone;
    bool autoSize_ = false;
    bool visible_ = true;
    bool enabled_ = true;
    TFont font_;
    bool parentFont_ = true;
    bool syncingFont_ = false;
    TColor color_ = clBtnFace;
    bool parentColor_ = false;
    TCursor cursor_ = TCursor::crDefault;
    std::wstring caption_;
    std::wstring hint_;
    bool showHint_ = false;
    bool clicked_ = false;
    bool aligning_ = false;
    bool default_ = false;
    bool cancel_ = false;
};

// A control that is a real child window of its form (edit, progress bar):
// the window is made once the form's exists and the control first shows
// inside its client area, and lives while the form's window does.
class TWinControl : public TControl {
public:
    using TControl::TControl;
    ~TWinControl() override;
    std::wstring_view className() const override { return L"TWinControl"; }
    bool windowed() const override { return true; }
    HWND handle() const { return wnd_; }
    // Called by the form once its own window exists.
    void createHandle(HWND formWindow);
    // Follows the control's place and the visibility of its parents.
    void updatePlacement();
    // Follows the form's DPI: place and font.
    void followDpi();
    void paint(HDC dc) override;

protected:
    virtual HWND createWindow(HWND formWindow) = 0;
    // The DPI of the form the window is on.
    int dpi() const;
    // Pushes the control's state (text, range...) into a new window.
    virtual void initWindow() {}
    void fontChanged() override;
    void boundsChanged() override { updatePlacement(); }
    void visibilityChanged() override;

private:
    HWND wnd_ = nullptr;
};
