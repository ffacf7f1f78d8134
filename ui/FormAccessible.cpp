// What a form is to screen readers and other assistive programs: WM_GETOBJECT
// answers with an IAccessible whose children are the form's windowless
// controls (by child id, from 1) and its child windows (their own objects).
// The form itself is left to oleacc's standard proxy.
#include "ui/Forms.h"

#include "system/Process.h"

#include <oleacc.h>

#include <atomic>
#include <memory>

namespace {

constexpr wchar_t kOleacc[] = L"oleacc.dll";
constexpr wchar_t kPressAction[] = L"按下";
constexpr wchar_t kFollowAction[] = L"跳转";

// oleacc is loaded by its full path when an assistive program first asks.
class Oleacc {
public:
    using CreateStd = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using FromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

    static const Oleacc& get()
    {
        static const Oleacc instance;
        return instance;
    }
    bool usable() const { return createStd && fromObject && fromWindow; }

    CreateStd createStd = nullptr;
    FromObject fromObject = nullptr;
    FromWindow fromWindow = nullptr;

private:
    Oleacc() : module_(loadSystemLibrary(kOleacc))
    {
        if (!module_)
            return;
        createStd = reinterpret_cast<CreateStd>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "CreateStdAccessibleObject")));
        fromObject =
            reinterpret_cast<FromObject>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "LresultFromObject")));
        fromWindow = reinterpret_cast<FromWindow>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "AccessibleObjectFromWindow")));
    }
    win::Module module_;
};

void collectAccessible(const TControl& container, std::vector<TControl*>& list)
{
    for (auto* c : container.controls()) {
        if (c->windowed() || c->accessibleKind() != TAccessibleKind::None)
            list.push_back(c);
        collectAccessible(*c, list);
    }
}

LONG roleOf(const TControl& c)
{
    switch (c.accessibleKind()) {
    case TAccessibleKind::Button: return ROLE_SYSTEM_PUSHBUTTON;
    case TAccessibleKind::Link: return ROLE_SYSTEM_LINK;
    case TAccessibleKind::Graphic: return ROLE_SYSTEM_GRAPHIC;
    default: return ROLE_SYSTEM_STATICTEXT;
    }
}

class FormAccessible final : public IAccessible {
public:
    FormAccessible(std::shared_ptr<TForm*> form, IAccessible* standard) : form_(std::move(form)), std_(standard) {}
    ~FormAccessible() { std_->Release(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch: assistive programs call the methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return std_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        if (!*form_)
            return RPC_E_DISCONNECTED;
        *count = static_cast<long>((*form_)->accessibleChildren().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        *out = nullptr;
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return E_INVALIDARG;
        if (auto* w = dynamic_cast<TWinControl*>(c); w && w->handle())
            return Oleacc::get().fromWindow(w->handle(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                            reinterpret_cast<void**>(out));
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->get_accName(child, name);
        const std::wstring& text = c->caption().empty() ? c->hint() : c->caption();
        *name = text.empty() ? nullptr : ::SysAllocString(text.c_str());
        return text.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        *value = nullptr;
        return self(child) ? std_->get_accValue(child, value) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        *text = nullptr;
        return self(child) ? std_->get_accDescription(child, text) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->get_accRole(child, role);
        role->vt = VT_I4;
        role->lVal = roleOf(*c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->get_accState(child, state);
        TForm& form = **form_;
        LONG bits = 0;
        if (!c->showing())
            bits |= STATE_SYSTEM_INVISIBLE;
        if (!c->enabled())
            bits |= STATE_SYSTEM_UNAVAILABLE;
        if (c->tabStop() && c->enabled() && c->showing())
            bits |= STATE_SYSTEM_FOCUSABLE;
        if (c->isDefault())
            bits |= STATE_SYSTEM_DEFAULT;
        if (c == form.focusedControl() && ::GetFocus() == form.handle())
            bits |= STATE_SYSTEM_FOCUSED;
        if (c->accessibleKind() == TAccessibleKind::Link)
            bits |= STATE_SYSTEM_LINKED;
        state->vt = VT_I4;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        *help = nullptr;
        return self(child) ? std_->get_accHelp(child, help) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return self(child) ? std_->get_accHelpTopic(file, child, topic) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override
    {
        *keys = nullptr;
        return self(child) ? std_->get_accKeyboardShortcut(child, keys) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!*form_)
            return RPC_E_DISCONNECTED;
        TForm& form = **form_;
        if (::GetFocus() == form.handle())
            if (const long id = idOf(form.focusedControl())) {
                focus->vt = VT_I4;
                focus->lVal = id;
                return S_OK;
            }
        return std_->get_accFocus(focus);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override { return std_->get_accSelection(selection); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        *action = nullptr;
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->get_accDefaultAction(child, action);
        if (!c->tabStop())
            return S_FALSE;
        *action = ::SysAllocString(c->accessibleKind() == TAccessibleKind::Link ? kFollowAction : kPressAction);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->accSelect(flags, child);
        if (!(flags & SELFLAG_TAKEFOCUS) || !c->tabStop())
            return S_FALSE;
        ::SetFocus((*form_)->handle());
        (*form_)->setFocusedControl(c, true);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->accLocation(left, top, width, height, child);
        TForm& form = **form_;
        const POINT at = c->originInForm();
        RECT r = form.scaled(RECT{at.x, at.y, at.x + c->width(), at.y + c->height()});
        ::MapWindowPoints(form.handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        TControl* c = nullptr;
        if (!find(start, c))
            return E_INVALIDARG;
        const long count = static_cast<long>((*form_)->accessibleChildren().size());
        long id = 0;
        if (!c && direction == NAVDIR_FIRSTCHILD)
            id = count > 0 ? 1 : 0;
        else if (!c && direction == NAVDIR_LASTCHILD)
            id = count;
        else if (!c)
            return std_->accNavigate(direction, start, end);
        else if (direction == NAVDIR_NEXT)
            id = start.lVal < count ? start.lVal + 1 : 0;
        else if (direction == NAVDIR_PREVIOUS)
            id = start.lVal - 1;
        if (id <= 0) {
            end->vt = VT_EMPTY;
            return S_FALSE;
        }
        end->vt = VT_I4;
        end->lVal = id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* found) override
    {
        if (!*form_)
            return RPC_E_DISCONNECTED;
        TForm& form = **form_;
        POINT p{x, y};
        ::ScreenToClient(form.handle(), &p);
        for (TControl* c = form.controlAt({form.unscaled(p.x), form.unscaled(p.y)}, true); c && c != &form;
             c = c->parent())
            if (const long id = idOf(c)) {
                found->vt = VT_I4;
                found->lVal = id;
                return S_OK;
            }
        return std_->accHitTest(x, y, found);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        TControl* c = nullptr;
        if (!find(child, c))
            return E_INVALIDARG;
        if (!c)
            return std_->accDoDefaultAction(child);
        if (!c->tabStop() || !c->enabled() || !c->showing())
            return DISP_E_MEMBERNOTFOUND;
        // The click may run a long time (an install) or show a modal box:
        // the caller gets its answer first.
        ::PostMessageW((*form_)->handle(), TForm::accessibleClickMessage(), static_cast<WPARAM>(child.lVal), 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    static bool self(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

    // The control a child id names; nullptr for the form itself. False for
    // an id that names nothing or a form that has gone.
    bool find(const VARIANT& child, TControl*& control) const
    {
        control = nullptr;
        if (!*form_ || child.vt != VT_I4)
            return false;
        if (child.lVal == CHILDID_SELF)
            return true;
        const auto list = (*form_)->accessibleChildren();
        if (child.lVal < 1 || static_cast<size_t>(child.lVal) > list.size())
            return false;
        control = list[static_cast<size_t>(child.lVal) - 1];
        return true;
    }
    long idOf(const TControl* control) const
    {
        const auto list = (*form_)->accessibleChildren();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] == control)
                return static_cast<long>(i + 1);
        return 0;
    }

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<TForm*> form_;
    IAccessible* std_;
};

} // namespace

std::vector<TControl*> TForm::accessibleChildren() const
{
    std::vector<TControl*> list;
    collectAccessible(*this, list);
    return list;
}

UINT TForm::accessibleClickMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"TForm.AccessibleClick");
    return message;
}

void TForm::accessibleClick(WPARAM id)
{
    const auto list = accessibleChildren();
    if (id < 1 || id > list.size())
        return;
    TControl* c = list[id - 1];
    if (c->tabStop() && c->enabled() && c->showing())
        c->performClick();
}

void TForm::notifyAccessibleFocus(const TControl* control) const
{
    const auto list = accessibleChildren();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == control)
            ::NotifyWinEvent(EVENT_OBJECT_FOCUS, wnd_, OBJID_CLIENT, static_cast<LONG>(i + 1));
}

bool TForm::answerAccessibleObject(TMessage& m)
{
    const Oleacc& oleacc = Oleacc::get();
    if (!oleacc.usable())
        return false;
    IAccessible* standard = nullptr;
    if (FAILED(oleacc.createStd(wnd_, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
        return false;
    if (!accessibleLink_)
        accessibleLink_ = std::make_shared<TForm*>(this);
    auto* object = new FormAccessible(accessibleLink_, standard);
    m.Result = oleacc.fromObject(IID_IAccessible, m.WParam, object);
    object->Release();
    return true;
}
