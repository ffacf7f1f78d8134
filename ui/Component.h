// The component model: named components owned by components, with an exact
// class name and published properties readable and writable by name (the
// design loader and the translator work through these).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class TComponent;
class TFont;
class TPicture;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;

// A window message as a control receives it; mouse positions in LParam are
// relative to the control.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// The pointer entered or left a control (windowless controls have no window
// of their own to get the system's notifications).
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TMouseEvent = std::function<void(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TKeyPressEvent = std::function<void(TComponent* sender, wchar_t& key)>;
using TKeyEvent = std::function<void(TComponent* sender, WORD& key, TShiftState shift)>;
using TOnMouseEvent = std::function<void(TComponent* sender, TMessage& message)>;
using TEventHandler = std::variant<TNotifyEvent, TMouseEvent, TKeyPressEvent, TKeyEvent, TOnMouseEvent>;

enum class PropKind { String, Integer, Boolean, Color, Enum, Strings, Picture, Font, Event };

// Strings, enumeration names and line lists travel as text (lines joined by
// CR LF); colours and integers as int.
using PropValue = std::variant<std::monostate, std::wstring, int, bool, TEventHandler>;

struct PropInfo {
    std::wstring name;
    PropKind kind;
    std::function<PropValue(const TComponent&)> get;
    std::function<bool(TComponent&, const PropValue&)> set;
    std::function<const TPicture*(const TComponent&)> picture;
    std::function<void(TComponent&, const TPicture&)> setPicture;
    std::function<TFont*(TComponent&)> font;
};

// The published properties of one class, in publishing order; a derived
// class starts from its base's list and may replace entries by name.
class PropertyList {
public:
    void add(PropInfo info);
    const PropInfo* find(std::wstring_view name) const;
    const std::vector<PropInfo>& all() const { return items_; }

    template <class C, class Get, class Set>
    void string(std::wstring name, Get get, Set set)
    {
        add({std::move(name), PropKind::String,
             [get](const TComponent& c) { return PropValue(std::wstring(std::invoke(get, static_cast<const C&>(c)))); },
             [set](TComponent& c, const PropValue& v) {
                 const auto* text = std::get_if<std::wstring>(&v);
                 if (text)
                     std::invoke(set, static_cast<C&>(c), *text);
                 return text != nullptr;
             },
             {}, {}, {}});
    }

    template <class C, class Get, class Set>
    void integer(std::wstring name, Get get, Set set, PropKind kind = PropKind::Integer)
    {
        add({std::move(name), kind,
             [get](const TComponent& c) {
                 return PropValue(static_cast<int>(std::invoke(get, static_cast<const C&>(c))));
             },
             [set](TComponent& c, const PropValue& v) {
                 const auto* number = std::get_if<int>(&v);
                 if (number)
                     std::invoke(set, static_cast<C&>(c), *number);
                 return number != nullptr;
             },
             {}, {}, {}});
    }

    template <class C, class Get, class Set>
    void color(std::wstring name, Get get, Set set)
    {
        integer<C>(std::move(name), get, set, PropKind::Color);
    }

    template <class C, class Get, class Set>
    void boolean(std::wstring name, Get get, Set set)
    {
        add({std::move(name), PropKind::Boolean,
             [get](const TComponent& c) {
                 return PropValue(static_cast<bool>(std::invoke(get, static_cast<const C&>(c))));
             },
             [set](TComponent& c, const PropValue& v) {
                 const auto* flag = std::get_if<bool>(&v);
                 if (flag)
                     std::invoke(set, static_cast<C&>(c), *flag);
                 return flag != nullptr;
             },
             {}, {}, {}});
    }

    // An enumeration read and written by the names in NAMES (index = value).
    template <class C, class E, class Get, class Set>
    void enumeration(std::wstring name, std::vector<std::wstring> names, Get get, Set set)
    {
        add({std::move(name), PropKind::Enum,
             [get, names](const TComponent& c) {
                 return PropValue(names.at(static_cast<size_t>(std::invoke(get, static_cast<const C&>(c)))));
             },
             [set, names](TComponent& c, const PropValue& v) {
                 const auto* text = std::get_if<std::wstring>(&v);
                 for (size_t i = 0; text && i < names.size(); ++i) {
                     if (_wcsicmp(names[i].c_str(), text->c_str()) == 0) {
                         std::invoke(set, static_cast<C&>(c), static_cast<E>(i));
                         return true;
                     }
                 }
                 return false;
             },
             {}, {}, {}});
    }

    template <class C, class Get, class Set>
    void strings(std::wstring name, Get get, Set set)
    {
        string<C>(std::move(name), get, set);
        items_.back().kind = PropKind::Strings;
    }

    // A picture read through GET and replaced by a copy through SET.
    template <class C, class Get, class Set>
    void picture(std::wstring name, Get get, Set set)
    {
        add({std::move(name), PropKind::Picture, {}, {},
             [get](const TComponent& c) { return &std::invoke(get, static_cast<const C&>(c)); },
             [set](TComponent& c, const TPicture& p) { std::invoke(set, static_cast<C&>(c), p); }, {}});
    }

    template <class C>
    void font(std::wstring name, TFont& (C::*access)())
    {
        add({std::move(name), PropKind::Font, {}, {}, {}, {},
             [access](TComponent& c) { return &(static_cast<C&>(c).*access)(); }});
    }

    // An event stored in a public std::function member of C.
    template <class C, class E>
    void event(std::wstring name, E C::*member)
    {
        add({std::move(name), PropKind::Event,
             [member](const TComponent& c) { return PropValue(TEventHandler(static_cast<const C&>(c).*member)); },
             [member](TComponent& c, const PropValue& v) {
                 const auto* handler = std::get_if<TEventHandler>(&v);
                 const auto* typed = handler ? std::get_if<E>(handler) : nullptr;
                 if (typed)
                     static_cast<C&>(c).*member = *typed;
                 return typed != nullptr;
             },
             {}, {}, {}});
    }

private:
    std::vector<PropInfo> items_;
};

bool sameText(std::wstring_view a, std::wstring_view b);
bool startsWithText(std::wstring_view text, std::wstring_view prefix);

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // The exact class name ("TLabel"): a derived class answers its own.
    virtual std::wstring_view className() const { return L"TComponent"; }
    const std::wstring& name() const { return name_; }
    void setName(std::wstring name) { name_ = std::move(name); }
    TComponent* owner() const { return owner_; }
    // Owned components in creation order; the owner destroys them.
    const std::vector<TComponent*>& components() const { return components_; }
    // By name, ignoring letter case; nullptr when none.
    TComponent* findComponent(std::wstring_view name) const;

    static const PropertyList& publishedProperties();
    virtual const PropertyList& properties() const { return publishedProperties(); }
    const PropInfo* findProperty(std::wstring_view name) const { return properties().find(name); }
    bool hasProperty(std::wstring_view name, PropKind kind) const;
    // Empty (std::monostate) when there is no such property.
    PropValue getProperty(std::wstring_view name) const;
    // False when there is no such property or the value has the wrong kind.
    bool setProperty(std::wstring_view name, const PropValue& value);
    TFont* fontProperty(std::wstring_view name);
    const TPicture* pictureProperty(std::wstring_view name) const;
    bool setPictureProperty(std::wstring_view name, const TPicture& picture);

    // True while a design is being applied to the component.
    bool loading() const { return loading_; }
    void beginLoading() { loading_ = true; }
    // After a design has set the properties: the component settles its layout.
    void endLoading();

protected:
    // Destroys the owned components while the owner is still whole; the
    // destructors of classes whose parts those components use call it first.
    void destroyComponents();
    virtual void loaded() {}

private:
    std::wstring name_;
    TComponent* owner_;
    std::vector<TComponent*> components_;
    bool loading_ = false;
};
