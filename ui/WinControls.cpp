#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include <commctrl.h>

namespace {

constexpr wchar_t kLineBreak[] = L"\r\n";
constexpr wchar_t kCommonControlsLibrary[] = L"comctl32.dll";
constexpr char kInitCommonControlsEx[] = "InitCommonControlsEx";

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// comctl32 is loaded when the first control of its kind is made, not
// imported: loading it registers its window classes and reads the theme,
// which the first window, made of our own drawing only, need not wait for.
// Loaded by its bare name, as the import was: the manifest's side-by-side
// version 6 is taken before any folder is searched, so no copy beside the
// installer can stand in. It stays loaded while its classes' windows live.
void initCommonControls()
{
    static const bool done = [] {
        const HMODULE library = ::LoadLibraryW(kCommonControlsLibrary);
        const auto init = reinterpret_cast<InitCommonControlsExFn>(
            reinterpret_cast<void*>(library ? ::GetProcAddress(library, kInitCommonControlsEx) : nullptr));
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                  ICC_STANDARD_CLASSES};
        return init && init(&icc) != FALSE;
    }();
    (void)done;
}

HWND createChild(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle, const std::wstring& text)
{
    initCommonControls();
    return ::CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                             parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

std::vector<std::wstring> splitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return lines;
}

} // namespace

TWinControl::~TWinControl()
{
    if (wnd_ && ::IsWindow(wnd_))
        ::DestroyWindow(wnd_);
}

void TWinControl::createHandle(HWND formWindow)
{
    if (wnd_)
        return;
    wnd_ = createWindow(formWindow);
    if (!wnd_)
        return;
    ::SendMessageW(wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font().handle(dpi())), FALSE);
    initWindow();
    updatePlacement();
}

int TWinControl::dpi() const
{
    const TForm* f = form();
    return f ? f->dpi() : kScreenDpi;
}

void TWinControl::followDpi()
{
    if (!wnd_)
        return;
    ::SendMessageW(wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font().handle(dpi())), TRUE);
    updatePlacement();
}

void TWinControl::updatePlacement()
{
    if (!wnd_)
        return;
    const POINT at = originInForm();
    const int d = dpi();
    ::SetWindowPos(wnd_, nullptr, ::MulDiv(at.x, d, kScreenDpi), ::MulDiv(at.y, d, kScreenDpi),
                   ::MulDiv(at.x + width(), d, kScreenDpi) - ::MulDiv(at.x, d, kScreenDpi),
                   ::MulDiv(at.y + height(), d, kScreenDpi) - ::MulDiv(at.y, d, kScreenDpi),
                   SWP_NOZORDER | SWP_NOACTIVATE | (showing() ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TWinControl::paint(HDC) {}

void TWinControl::fontChanged()
{
    TControl::fontChanged();
    if (wnd_)
        ::SendMessageW(wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font().handle(dpi())), TRUE);
}

void TWinControl::visibilityChanged()
{
    TControl::visibilityChanged();
    if (!wnd_ && showing())
        if (auto* f = form(); f && f->handleAllocated() && f->inClientArea(*this))
            createHandle(f->handle());
    updatePlacement();
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
    setColor(clWindow);
    setBounds(0, 0, 121, 21);
}

const PropertyList& TEdit::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TWinControl::publishedProperties();
        l.string<TEdit>(L"Text", &TEdit::text, &TEdit::setText);
        l.boolean<TEdit>(L"ReadOnly", &TEdit::readOnly, &TEdit::setReadOnly);
        return l;
    }();
    return list;
}

std::wstring TEdit::text() const
{
    if (!handle())
        return text_;
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(handle())) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(handle(), text.data(), static_cast<int>(text.size()))));
    return text;
}

void TEdit::setText(std::wstring text)
{
    text_ = std::move(text);
    if (handle())
        ::SetWindowTextW(handle(), text_.c_str());
}

void TEdit::setReadOnly(bool v)
{
    readOnly_ = v;
    if (handle())
        ::SendMessageW(handle(), EM_SETREADONLY, v, 0);
}

DWORD TEdit::editStyle() const { return ES_AUTOHSCROLL | WS_TABSTOP; }

HWND TEdit::createWindow(HWND formWindow)
{
    return createChild(formWindow, L"EDIT", editStyle() | (readOnly_ ? ES_READONLY : 0), WS_EX_CLIENTEDGE, text_);
}

const PropertyList& TMemo::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TEdit::publishedProperties();
        l.strings<TMemo>(L"Lines", &TMemo::lines, &TMemo::setLines);
        return l;
    }();
    return list;
}

void TMemo::addLine(const std::wstring& line)
{
    std::wstring all = text();
    if (!all.empty())
        all += kLineBreak;
    setText(all + line);
}

DWORD TMemo::editStyle() const { return ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP; }

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) { setBounds(0, 0, 150, 17); }

const PropertyList& TProgressBar::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TWinControl::publishedProperties();
        l.integer<TProgressBar>(L"Min", &TProgressBar::min, &TProgressBar::setMin);
        l.integer<TProgressBar>(L"Max", &TProgressBar::max, &TProgressBar::setMax);
        l.integer<TProgressBar>(L"Position", &TProgressBar::position, &TProgressBar::setPosition);
        l.string<TProgressBar>(L"ProgressText", &TProgressBar::progressText, &TProgressBar::setProgressText);
        l.event(L"OnChange", &TProgressBar::OnChange);
        return l;
    }();
    return list;
}

void TProgressBar::setMin(int v)
{
    min_ = v;
    initWindow();
}

void TProgressBar::setMax(int v)
{
    max_ = v;
    initWindow();
}

void TProgressBar::setPosition(int v)
{
    v = std::clamp(v, min_, std::max(min_, max_));
    if (v == position_)
        return;
    position_ = v;
    if (handle())
        ::SendMessageW(handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
    if (TForm* f = form())
        f->notifyAccessible(this, EVENT_OBJECT_VALUECHANGE);
    if (OnChange)
        OnChange(this);
}

HWND TProgressBar::createWindow(HWND formWindow) { return createChild(formWindow, PROGRESS_CLASSW, 0, 0, L""); }

void TProgressBar::initWindow()
{
    if (!handle())
        return;
    ::SendMessageW(handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    ::SendMessageW(handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

std::wstring TListControl::itemsText() const
{
    std::wstring text;
    for (size_t i = 0; i < items_.size(); ++i)
        text += (i ? kLineBreak : L"") + items_[i];
    return text;
}

void TListControl::setItemsText(std::wstring lines)
{
    items_ = splitLines(lines);
    itemsChanged();
}

void TListControl::clearItems()
{
    items_.clear();
    itemsChanged();
}

void TListControl::addItem(std::wstring item)
{
    items_.push_back(std::move(item));
    itemsChanged();
}

void TListControl::setItem(size_t index, std::wstring item)
{
    if (index >= items_.size())
        return;
    items_[index] = std::move(item);
    itemsChanged();
}

TListView::TListView(TComponent* owner) : TListControl(owner)
{
    setColor(clWindow);
    setBounds(0, 0, 250, 150);
}

const PropertyList& TListView::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TListControl::publishedProperties();
        l.strings<TListView>(L"Columns", &TListView::itemsText, &TListView::setItemsText);
        return l;
    }();
    return list;
}

HWND TListView::createWindow(HWND formWindow)
{
    shownColumns_ = 0;
    return createChild(formWindow, WC_LISTVIEWW, LVS_REPORT, WS_EX_CLIENTEDGE, L"");
}

void TListView::itemsChanged()
{
    if (!handle())
        return;
    const auto& columns = items();
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 100;
        column.pszText = const_cast<wchar_t*>(columns[static_cast<size_t>(i)].c_str());
        if (i < shownColumns_)
            ::SendMessageW(handle(), LVM_SETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        else
            ::SendMessageW(handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    while (shownColumns_ > static_cast<int>(columns.size()))
        ::SendMessageW(handle(), LVM_DELETECOLUMN, static_cast<WPARAM>(--shownColumns_), 0);
    shownColumns_ = static_cast<int>(columns.size());
}

TComboBox::TComboBox(TComponent* owner) : TListControl(owner)
{
    setColor(clWindow);
    setBounds(0, 0, 145, 21);
}

const PropertyList& TComboBox::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TListControl::publishedProperties();
        l.strings<TComboBox>(L"Items", &TComboBox::itemsText, &TComboBox::setItemsText);
        return l;
    }();
    return list;
}

HWND TComboBox::createWindow(HWND formWindow)
{
    return createChild(formWindow, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, L"");
}

void TComboBox::itemsChanged()
{
    if (!handle())
        return;
    ::SendMessageW(handle(), CB_RESETCONTENT, 0, 0);
    for (const auto& item : items())
        ::SendMessageW(handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

TStatusBar::TStatusBar(TComponent* owner) : TListControl(owner)
{
    setBounds(0, 0, 200, 19);
    setAlign(TAlign::alBottom);
}

const PropertyList& TStatusBar::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TListControl::publishedProperties();
        l.strings<TStatusBar>(L"Panels", &TStatusBar::itemsText, &TStatusBar::setItemsText);
        return l;
    }();
    return list;
}

HWND TStatusBar::createWindow(HWND formWindow)
{
    return createChild(formWindow, STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN, 0, L"");
}

void TStatusBar::itemsChanged()
{
    if (!handle())
        return;
    const auto& panels = items();
    const int count = std::max<int>(1, static_cast<int>(panels.size()));
    std::vector<int> edges(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        edges[static_cast<size_t>(i)] = i + 1 == count ? -1 : width() * (i + 1) / count;
    ::SendMessageW(handle(), SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(edges.data()));
    for (int i = 0; i < static_cast<int>(panels.size()); ++i)
        ::SendMessageW(handle(), SB_SETTEXTW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(panels[static_cast<size_t>(i)].c_str()));
}
