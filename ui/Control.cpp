#include "ui/Controls.h"

#include "ui/Forms.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

TControl::TControl(TComponent* owner) : TComponent(owner)
{
    font_.onChange = [this] { fontChanged(); };
}

TControl::~TControl()
{
    destroyComponents();
    if (auto* f = form(); f && f != this)
        f->controlRemoved(this);
    for (auto* child : controls_)
        child->parent_ = nullptr;
    if (parent_)
        std::erase(parent_->controls_, this);
}

const PropertyList& TControl::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TComponent::publishedProperties();
        l.integer<TControl>(L"Left", &TControl::left, &TControl::setLeft);
        l.integer<TControl>(L"Top", &TControl::top, &TControl::setTop);
        l.integer<TControl>(L"Width", &TControl::width, &TControl::setWidth);
        l.integer<TControl>(L"Height", &TControl::height, &TControl::setHeight);
        l.enumeration<TControl, TAlign>(L"Align", {L"none", L"top", L"bottom", L"left", L"right", L"client"},
                                        &TControl::align, &TControl::setAlign);
        l.boolean<TControl>(L"AutoSize", &TControl::autoSize, &TControl::setAutoSize);
        l.boolean<TControl>(L"Visible", &TControl::visible, &TControl::setVisible);
        l.boolean<TControl>(L"Enabled", &TControl::enabled, &TControl::setEnabled);
        l.font<TControl>(L"Font", static_cast<TFont& (TControl::*)()>(&TControl::font));
        l.boolean<TControl>(L"ParentFont", &TControl::parentFont, &TControl::setParentFont);
        l.color<TControl>(L"Color", &TControl::color, &TControl::setColor);
        l.boolean<TControl>(L"ParentColor", &TControl::parentColor, &TControl::setParentColor);
        l.enumeration<TControl, TCursor>(L"Cursor", {L"default", L"arrow", L"hand", L"ibeam"}, &TControl::cursor,
                                         &TControl::setCursor);
        l.string<TControl>(L"Caption", &TControl::caption, &TControl::setCaption);
        l.string<TControl>(L"Hint", &TControl::hint, &TControl::setHint);
        l.boolean<TControl>(L"ShowHint", &TControl::showHint, &TControl::setShowHint);
        l.boolean<TControl>(L"Default", &TControl::isDefault, &TControl::setDefault);
        l.boolean<TControl>(L"Cancel", &TControl::isCancel, &TControl::setCancel);
        l.event(L"OnClick", &TControl::OnClick);
        l.event(L"OnMouseDown", &TControl::OnMouseDown);
        l.event(L"OnMouseUp", &TControl::OnMouseUp);
        l.event(L"OnMouseMove", &TControl::OnMouseMove);
        l.event(L"OnMouseEnter", &TControl::OnMouseEnter);
        l.event(L"OnMouseLeave", &TControl::OnMouseLeave);
        return l;
    }();
    return list;
}

void TControl::setParent(TControl* parent)
{
    if (parent == parent_)
        return;
    if (parent_) {
        std::erase(parent_->controls_, this);
        parent_->invalidate();
    }
    parent_ = parent;
    if (parent_) {
        parent_->controls_.push_back(this);
        if (parentFont_)
            parentFontChanged();
        if (parentColor_)
            parentColorChanged();
        if (align_ != TAlign::alNone)
            parent_->realign();
    }
    visibilityChanged();
}

TForm* TControl::form() const { return parent_ ? parent_->form() : nullptr; }

void TControl::setBounds(int left, int top, int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    // A design sets the size before what it depends on; loaded() sizes again.
    if (autoSize_ && align_ != TAlign::alClient && !loading())
        canAutoSize(width, height);
    if (left == left_ && top == top_ && width == width_ && height == height_)
        return;
    invalidate();
    const bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    invalidate();
    boundsChanged();
    for (auto* child : controls_)
        child->moveChildWindows();
    if (resized)
        realign();
    if (parent_ && align_ != TAlign::alNone)
        parent_->realign();
}

void TControl::moveChildWindows()
{
    if (auto* w = dynamic_cast<TWinControl*>(this))
        w->updatePlacement();
    for (auto* child : controls_)
        child->moveChildWindows();
}

POINT TControl::originInForm() const
{
    POINT p{0, 0};
    for (const TControl* c = this; c->parent_; c = c->parent_) {
        p.x += c->left_;
        p.y += c->top_;
        const RECT client = c->parent_->clientRect();
        p.x += client.left;
        p.y += client.top;
    }
    return p;
}

void TControl::setAlign(TAlign align)
{
    if (align == align_)
        return;
    align_ = align;
    if (parent_)
        parent_->realign();
}

void TControl::setAutoSize(bool value)
{
    if (value == autoSize_)
        return;
    autoSize_ = value;
    if (value)
        adjustSize();
}

void TControl::setVisible(bool value)
{
    if (value == visible_)
        return;
    invalidate();
    visible_ = value;
    invalidate();
    visibilityChanged();
    if (parent_ && align_ != TAlign::alNone)
        parent_->realign();
}

void TControl::visibilityChanged()
{
    for (auto* child : controls_)
        child->visibilityChanged();
}

bool TControl::showing() const
{
    for (const TControl* c = this; c; c = c->parent_) {
        if (c == form())
            return true;
        if (!c->visible_)
            return false;
    }
    return false;
}

void TControl::setEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    invalidate();
}

void TControl::setParentFont(bool value)
{
    parentFont_ = value;
    if (value && parent_)
        parentFontChanged();
}

void TControl::parentFontChanged()
{
    syncingFont_ = true;
    font_.assign(parent_->font_);
    syncingFont_ = false;
}

void TControl::fontChanged()
{
    if (!syncingFont_)
        parentFont_ = false;
    for (auto* child : controls_)
        if (child->parentFont_)
            child->parentFontChanged();
    adjustSize();
    invalidate();
}

void TControl::setColor(TColor color)
{
    parentColor_ = false;
    color_ = color;
    for (auto* child : controls_)
        if (child->parentColor_)
            child->parentColorChanged();
    invalidate();
}

void TControl::setParentColor(bool value)
{
    parentColor_ = value;
    if (value && parent_)
        parentColorChanged();
}

void TControl::parentColorChanged()
{
    color_ = parent_->color_;
    for (auto* child : controls_)
        if (child->parentColor_)
            child->parentColorChanged();
    invalidate();
}

TColor TControl::effectiveColor() const { return color_; }

void TControl::setCaption(std::wstring caption)
{
    if (caption == caption_)
        return;
    caption_ = std::move(caption);
    adjustSize();
    textChanged();
}

void TControl::invalidate()
{
    if (auto* f = form(); f && showing())
        f->invalidateArea(this);
}

void TControl::repaint()
{
    invalidate();
    if (auto* f = form())
        f->update();
}

void TControl::paint(HDC) {}

void TControl::dispatchMouse(TMessage& m)
{
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    const TShiftState shift = shiftFromKeys(m.WParam);
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
        clicked_ = true;
        mouseDown(TMouseButton::mbLeft, shift, x, y);
        break;
    case WM_RBUTTONDOWN:
        mouseDown(TMouseButton::mbRight, shift, x, y);
        break;
    case WM_MBUTTONDOWN:
        mouseDown(TMouseButton::mbMiddle, shift, x, y);
        break;
    case WM_LBUTTONUP:
        if (std::exchange(clicked_, false) && x >= 0 && y >= 0 && x < width_ && y < height_) {
            // The click handler may close the form; the release still belongs
            // to this control if it is still there.
            if (auto* f = form(); f && f->guardedCall(this, [this] { click(); }))
                mouseUp(TMouseButton::mbLeft, shift, x, y);
            break;
        }
        mouseUp(TMouseButton::mbLeft, shift, x, y);
        break;
    case WM_RBUTTONUP:
        mouseUp(TMouseButton::mbRight, shift, x, y);
        break;
    case WM_MBUTTONUP:
        mouseUp(TMouseButton::mbMiddle, shift, x, y);
        break;
    case WM_MOUSEMOVE:
        mouseMove(shift, x, y);
        break;
    case CM_MOUSEENTER:
        mouseEnter();
        break;
    case CM_MOUSELEAVE:
        mouseLeave();
        break;
    default:
        break;
    }
}

void TControl::performClick()
{
    // The handler may close the form and destroy the control.
    if (auto* f = form())
        f->guardedCall(this, [this] { click(); });
    else
        click();
}

TAccessibleKind TControl::accessibleKind() const
{
    if (tabStop())
        return TAccessibleKind::Button;
    if (!caption_.empty())
        return TAccessibleKind::Text;
    return hint_.empty() ? TAccessibleKind::None : TAccessibleKind::Graphic;
}

void TControl::click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::mouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TControl::mouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TControl::mouseMove(TShiftState shift, int x, int y)
{
    if (OnMouseMove)
        OnMouseMove(this, TMouseButton::mbLeft, shift, x, y);
}

void TControl::mouseEnter()
{
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TControl::mouseLeave()
{
    if (OnMouseLeave)
        OnMouseLeave(this);
}

bool TControl::canAutoSize(int&, int&) { return false; }

void TControl::adjustSize()
{
    if (autoSize_ && !loading())
        setBounds(left_, top_, width_, height_);
}

void TControl::realign()
{
    if (aligning_ || loading())
        return;
    aligning_ = true;
    RECT rest = clientRect();
    // Top, bottom, left, right, then client; within a kind by position, so the
    // declared order decides only between equal positions.
    const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient};
    for (const TAlign kind : order) {
        std::vector<TControl*> list;
        for (auto* c : controls_)
            if (c->align_ == kind && c->visible_)
                list.push_back(c);
        std::stable_sort(list.begin(), list.end(), [kind](const TControl* a, const TControl* b) {
            switch (kind) {
            case TAlign::alTop: return a->top_ < b->top_;
            case TAlign::alBottom: return a->top_ + a->height_ > b->top_ + b->height_;
            case TAlign::alLeft: return a->left_ < b->left_;
            case TAlign::alRight: return a->left_ + a->width_ > b->left_ + b->width_;
            default: return false;
            }
        });
        for (auto* c : list) {
            const int w = c->width_, h = c->height_;
            const int restW = rest.right - rest.left, restH = rest.bottom - rest.top;
            switch (kind) {
            case TAlign::alTop:
                c->setBounds(rest.left, rest.top, restW, h);
                rest.top += c->height_;
                break;
            case TAlign::alBottom:
                c->setBounds(rest.left, rest.bottom - h, restW, h);
                rest.bottom -= c->height_;
                break;
            case TAlign::alLeft:
                c->setBounds(rest.left, rest.top, w, restH);
                rest.left += c->width_;
                break;
            case TAlign::alRight:
                c->setBounds(rest.right - w, rest.top, w, restH);
                rest.right -= c->width_;
                break;
            default:
                c->setBounds(rest.left, rest.top, restW, restH);
                break;
            }
        }
    }
    aligning_ = false;
}

void TControl::loaded()
{
    adjustSize();
    realign();
}

TShiftState shiftFromKeys(WPARAM keys)
{
    TShiftState shift = 0;
    if (keys & MK_SHIFT)
        shift |= ssShift;
    if (keys & MK_CONTROL)
        shift |= ssCtrl;
    if (keys & MK_LBUTTON)
        shift |= ssLeft;
    if (keys & MK_RBUTTON)
        shift |= ssRight;
    if (keys & MK_MBUTTON)
        shift |= ssMiddle;
    return shift;
}
