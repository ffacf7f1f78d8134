// The standard controls: windowless label, link label, picture, panel and
// page control; edit, memo, progress bar, list view, combo box and status bar
// as real child windows.
#pragma once

#include "ui/Controls.h"
#include "ui/Picture.h"

#include <string>
#include <vector>

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// Where a picture of W x H goes in an area of CW x CH: shrunk to fit keeping
// its aspect (PROPORTIONAL, only when it does not fit, unless STRETCH) or
// stretched (STRETCH), otherwise at its own size; at (0, 0), or centred.
RECT fitPicture(int w, int h, int cw, int ch, bool stretch, bool proportional, bool center);

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    std::wstring_view className() const override { return L"TLabel"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool v);
    bool transparent() const { return transparent_; }
    void setTransparent(bool v);
    TAlignment alignment() const { return alignment_; }
    void setAlignment(TAlignment v);
    // Moves the label up or down so that its text sits on the baseline of
    // OTHER's text (a label of the same parent), whatever their fonts.
    void alignBaselineWith(const TLabel& other);

    void paint(HDC dc) override;
    // One line sized to its text: above 96 DPI the hinted glyphs may run a
    // little wider than the size measured in the design's units.
    bool overflowsWhenScaled() const override
    {
        return autoSize() && !wordWrap_ && alignment_ == TAlignment::taLeftJustify;
    }

protected:
    bool canAutoSize(int& width, int& height) override;
    void adjustSize() override;

private:
    UINT textFlags() const;

    bool wordWrap_ = false;
    bool transparent_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
};

// A label that reads as a link: hand cursor, highlight colour.
class TLinkLabel : public TLabel {
public:
    explicit TLinkLabel(TComponent* owner);
    std::wstring_view className() const override { return L"TLinkLabel"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    TAccessibleKind accessibleKind() const override { return TAccessibleKind::Link; }

    // The address the link stands for; the window's click handler opens it.
    const std::wstring& url() const { return url_; }
    void setUrl(std::wstring url) { url_ = std::move(url); }

private:
    std::wstring url_;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    std::wstring_view className() const override { return L"TImage"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    TPicture& picture() { return picture_; }
    const TPicture& picture() const { return picture_; }
    void setPicture(const TPicture& picture) { picture_.assign(picture); }
    bool stretch() const { return stretch_; }
    void setStretch(bool v);
    bool proportional() const { return proportional_; }
    void setProportional(bool v);
    bool center() const { return center_; }
    void setCenter(bool v);
    bool transparent() const { return transparent_; }
    void setTransparent(bool v);

    void paint(HDC dc) override;

protected:
    bool canAutoSize(int& width, int& height) override;
    virtual void pictureChanged();

private:
    TPicture picture_;
    bool stretch_ = false;
    bool proportional_ = false;
    bool center_ = false;
    bool transparent_ = false;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TControl {
public:
    explicit TPanel(TComponent* owner);
    std::wstring_view className() const override { return L"TPanel"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    bool acceptsControls() const override { return true; }

    TBevelCut bevelOuter() const { return bevelOuter_; }
    void setBevelOuter(TBevelCut v);

    void paint(HDC dc) override;

private:
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
};

class TTabSheet;

// Pages switched by the program: the page control draws no tab strip, every
// page fills it and only the active one is visible.
class TPageControl : public TControl {
public:
    explicit TPageControl(TComponent* owner);
    std::wstring_view className() const override { return L"TPageControl"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    // Pages without a tab strip: only what they hold is shown.
    TAccessibleKind accessibleKind() const override { return TAccessibleKind::None; }
    bool acceptsControls() const override { return true; }

    std::vector<TTabSheet*> pages() const;
    TTabSheet* activePage() const { return active_; }
    void setActivePage(TTabSheet* page);
    std::wstring activePageName() const;
    void setActivePageName(std::wstring name);

    // A page was put on or taken off the control.
    void pageAdded(TTabSheet* page);
    void pageRemoved(TTabSheet* page);

protected:
    void boundsChanged() override;
    void loaded() override;

private:
    TTabSheet* active_ = nullptr;
    std::wstring pendingActive_;
};

class TTabSheet : public TControl {
public:
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;
    std::wstring_view className() const override { return L"TTabSheet"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    TAccessibleKind accessibleKind() const override { return TAccessibleKind::None; }
    bool acceptsControls() const override { return true; }
    void setParent(TControl* parent) override;

    bool tabVisible() const { return tabVisible_; }
    void setTabVisible(bool v) { tabVisible_ = v; }
    TPageControl* pageControl() const;

    void paint(HDC dc) override;

private:
    bool tabVisible_ = true;
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    std::wstring_view className() const override { return L"TEdit"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    std::wstring text() const;
    void setText(std::wstring text);
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool v);

protected:
    HWND createWindow(HWND formWindow) override;
    virtual DWORD editStyle() const;

private:
    std::wstring text_;
    bool readOnly_ = false;
};

class TMemo : public TEdit {
public:
    using TEdit::TEdit;
    std::wstring_view className() const override { return L"TMemo"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }
    // The text as lines; a new line is added with addLine.
    std::wstring lines() const { return text(); }
    void setLines(std::wstring lines) { setText(std::move(lines)); }
    void addLine(const std::wstring& line);

protected:
    DWORD editStyle() const override;
};

class TProgressBar : public TWinControl {
public:
    explicit TProgressBar(TComponent* owner);
    std::wstring_view className() const override { return L"TProgressBar"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    int min() const { return min_; }
    void setMin(int v);
    int max() const { return max_; }
    void setMax(int v);
    int position() const { return position_; }
    void setPosition(int v);
    const std::wstring& progressText() const { return progressText_; }
    void setProgressText(std::wstring text) { progressText_ = std::move(text); }

    // After every change of the position.
    TNotifyEvent OnChange;

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override;

private:
    int min_ = 0, max_ = 100, position_ = 0;
    std::wstring progressText_;
};

// Controls whose texts are lists: list-view column captions, combo-box
// items, status-bar panel texts.
class TListControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    const std::vector<std::wstring>& items() const { return items_; }
    std::wstring itemsText() const;
    void setItemsText(std::wstring lines);
    void clearItems();
    void addItem(std::wstring item);
    // Index out of range: nothing happens.
    void setItem(size_t index, std::wstring item);

protected:
    virtual void itemsChanged() = 0;

private:
    std::vector<std::wstring> items_;
};

class TListView : public TListControl {
public:
    explicit TListView(TComponent* owner);
    std::wstring_view className() const override { return L"TListView"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override { itemsChanged(); }
    void itemsChanged() override;

private:
    int shownColumns_ = 0;
};

class TComboBox : public TListControl {
public:
    explicit TComboBox(TComponent* owner);
    std::wstring_view className() const override { return L"TComboBox"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override { itemsChanged(); }
    void itemsChanged() override;
};

class TStatusBar : public TListControl {
public:
    explicit TStatusBar(TComponent* owner);
    std::wstring_view className() const override { return L"TStatusBar"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

protected:
    HWND createWindow(HWND formWindow) override;
    void initWindow() override { itemsChanged(); }
    void itemsChanged() override;
};
