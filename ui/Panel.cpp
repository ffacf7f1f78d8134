#include "ui/StdCtrls.h"

#include "system/Handles.h"

#include <algorithm>

TPanel::TPanel(TComponent* owner) : TControl(owner) { setBounds(0, 0, 185, 41); }

const PropertyList& TPanel::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.enumeration<TPanel, TBevelCut>(L"BevelOuter", {L"none", L"lowered", L"raised"}, &TPanel::bevelOuter,
                                         &TPanel::setBevelOuter);
        return l;
    }();
    return list;
}

void TPanel::setBevelOuter(TBevelCut v)
{
    bevelOuter_ = v;
    invalidate();
}

void TPanel::paint(HDC dc)
{
    RECT r{0, 0, width(), height()};
    const COLORREF background = backgroundColor(color());
    const win::Brush back(::CreateSolidBrush(background));
    ::FillRect(dc, &r, back.get());
    if (bevelOuter_ != TBevelCut::bvNone)
        ::DrawEdge(dc, &r, bevelOuter_ == TBevelCut::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    if (!caption().empty()) {
        win::SelectObjectScope select(dc, font().handle());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, highContrast() ? ::GetSysColor(COLOR_WINDOWTEXT) : textColorOn(font().color(), background));
        ::DrawTextW(dc, caption().c_str(), static_cast<int>(caption().size()), &r,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

TPageControl::TPageControl(TComponent* owner) : TControl(owner)
{
    setParentColor(true);
    setBounds(0, 0, 289, 193);
}

const PropertyList& TPageControl::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.string<TPageControl>(L"ActivePage", &TPageControl::activePageName, &TPageControl::setActivePageName);
        return l;
    }();
    return list;
}

std::vector<TTabSheet*> TPageControl::pages() const
{
    std::vector<TTabSheet*> list;
    for (auto* c : controls())
        if (auto* sheet = dynamic_cast<TTabSheet*>(c))
            list.push_back(sheet);
    return list;
}

void TPageControl::setActivePage(TTabSheet* page)
{
    if (page && page->parent() != this)
        return;
    active_ = page;
    for (auto* sheet : pages())
        sheet->setVisible(sheet == active_);
}

std::wstring TPageControl::activePageName() const { return active_ ? active_->name() : std::wstring(); }

void TPageControl::setActivePageName(std::wstring name)
{
    pendingActive_ = std::move(name);
    for (auto* sheet : pages()) {
        if (sameText(sheet->name(), pendingActive_)) {
            setActivePage(sheet);
            pendingActive_.clear();
            return;
        }
    }
}

void TPageControl::pageAdded(TTabSheet* page)
{
    page->setBounds(0, 0, width(), height());
    if (!active_)
        setActivePage(page);
    else
        page->setVisible(false);
}

void TPageControl::pageRemoved(TTabSheet* page)
{
    if (active_ == page)
        active_ = nullptr;
}

void TPageControl::boundsChanged()
{
    for (auto* sheet : pages())
        sheet->setBounds(0, 0, width(), height());
}

void TPageControl::loaded()
{
    TControl::loaded();
    if (!pendingActive_.empty())
        setActivePageName(pendingActive_);
    boundsChanged();
}

TTabSheet::TTabSheet(TComponent* owner) : TControl(owner) { setParentColor(true); }

TTabSheet::~TTabSheet()
{
    if (auto* pc = pageControl())
        pc->pageRemoved(this);
}

const PropertyList& TTabSheet::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.boolean<TTabSheet>(L"TabVisible", &TTabSheet::tabVisible, &TTabSheet::setTabVisible);
        return l;
    }();
    return list;
}

TPageControl* TTabSheet::pageControl() const { return dynamic_cast<TPageControl*>(parent()); }

void TTabSheet::setParent(TControl* parent)
{
    if (auto* old = pageControl())
        old->pageRemoved(this);
    TControl::setParent(parent);
    if (auto* pc = pageControl())
        pc->pageAdded(this);
}

void TTabSheet::paint(HDC dc)
{
    const RECT r{0, 0, width(), height()};
    const win::Brush back(::CreateSolidBrush(backgroundColor(color())));
    ::FillRect(dc, &r, back.get());
}
