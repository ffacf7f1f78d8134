#include "ui/Design.h"

#include "ui/ImgBtn.h"
#include "ui/PngImage.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"
#include "ui/WebBrowser.h"

#include "system/Encoding.h"
#include "system/Resource.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

constexpr wchar_t kDesignType[] = L"DESIGN";

constexpr std::pair<const char*, unsigned> kFontStyles[] = {
    {"bold", fsBold}, {"italic", fsItalic}, {"underline", fsUnderline}, {"strikeOut", fsStrikeOut}};

using Factory = TComponent* (*)(TComponent*);

template <class T>
TComponent* make(TComponent* owner)
{
    return new T(owner);
}

constexpr std::pair<std::wstring_view, Factory> kClasses[] = {
    {L"TLabel", make<TLabel>},           {L"TLinkLabel", make<TLinkLabel>},
    {L"TImage", make<TImage>},           {L"TPanel", make<TPanel>},
    {L"TPageControl", make<TPageControl>}, {L"TTabSheet", make<TTabSheet>},
    {L"TEdit", make<TEdit>},             {L"TMemo", make<TMemo>},
    {L"TProgressBar", make<TProgressBar>}, {L"TListView", make<TListView>},
    {L"TComboBox", make<TComboBox>},     {L"TStatusBar", make<TStatusBar>},
    {L"TTimer", make<TTimer>},           {L"TTextImageButton", make<TTextImageButton>},
    {L"TImgBtn", make<TImgBtn>},         {L"TWebBrowser", make<TWebBrowser>},
};

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw std::runtime_error("design " + where + ": " + what);
}

std::string utf8(std::wstring_view text) { return win::toUtf8(text); }

class Loader {
public:
    Loader(TForm& form, const FormDesign& design, std::string name)
        : form_(form), design_(design), where_(std::move(name))
    {
    }

    void load(const Json& root)
    {
        if (!root.is_object())
            fail(where_, "not a JSON object");
        const std::string cls = root.value("class", "");
        if (cls.empty())
            fail(where_, "no class");
        form_.beginLoading();
        form_.setName(win::fromUtf8(root.value("name", "")));
        applyProperties(form_, root);
        if (root.contains("controls"))
            loadChildren(form_, root["controls"]);
        for (auto* c : created_)
            c->endLoading();
        form_.endLoading();
    }

private:
    void loadChildren(TControl& parent, const Json& list)
    {
        if (!list.is_array())
            fail(where_, "\"controls\" of " + utf8(parent.name()) + " is not a list");
        for (const auto& item : list) {
            const std::wstring cls = win::fromUtf8(item.value("class", ""));
            TComponent* component = createComponent(cls, &form_);
            if (!component)
                fail(where_, "unknown class \"" + utf8(cls) + "\"");
            component->beginLoading();
            created_.push_back(component);
            component->setName(win::fromUtf8(item.value("name", "")));
            auto* control = dynamic_cast<TControl*>(component);
            if (control) {
                if (!parent.acceptsControls())
                    fail(where_, utf8(parent.name()) + " cannot hold controls");
                control->setParent(&parent);
            }
            applyProperties(*component, item);
            if (item.contains("controls")) {
                if (!control)
                    fail(where_, utf8(component->name()) + " cannot hold controls");
                loadChildren(*control, item["controls"]);
            }
        }
    }

    void applyProperties(TComponent& c, const Json& object)
    {
        if (object.contains("bounds"))
            applyBounds(c, object["bounds"]);
        for (const auto& [key, value] : object.items()) {
            if (key == "class" || key == "name" || key == "controls" || key == "bounds")
                continue;
            if (key == "events") {
                applyEvents(c, value);
                continue;
            }
            applyProperty(c, win::fromUtf8(key), value);
        }
    }

    void applyBounds(TComponent& c, const Json& bounds)
    {
        auto* control = dynamic_cast<TControl*>(&c);
        const auto isInteger = [](const Json& v) { return v.is_number_integer(); };
        if (!control || !bounds.is_array() || bounds.size() != 4 ||
            !std::all_of(bounds.begin(), bounds.end(), isInteger))
            fail(where_, "bad \"bounds\" of " + utf8(c.name()));
        control->setBounds(bounds[0].get<int>(), bounds[1].get<int>(), bounds[2].get<int>(), bounds[3].get<int>());
    }

    void applyEvents(TComponent& c, const Json& events)
    {
        if (!events.is_object())
            fail(where_, "\"events\" of " + utf8(c.name()) + " is not an object");
        for (const auto& [event, handlerName] : events.items()) {
            const std::wstring name = win::fromUtf8(handlerName.is_string() ? handlerName.get<std::string>() : "");
            const HandlerEntry* entry = nullptr;
            for (const auto& h : design_.handlers)
                if (h.name == name)
                    entry = &h;
            if (!entry)
                fail(where_, "unknown handler \"" + utf8(name) + "\"");
            const std::wstring eventName = win::fromUtf8(event);
            if (!c.hasProperty(eventName, PropKind::Event))
                fail(where_, utf8(c.name()) + " has no event " + event);
            if (!c.setProperty(eventName, entry->bind(form_)))
                fail(where_, "handler \"" + utf8(name) + "\" does not fit " + utf8(c.name()) + "." + event);
        }
    }

    void applyProperty(TComponent& c, const std::wstring& key, const Json& value)
    {
        const PropInfo* info = c.findProperty(key);
        const std::string what = utf8(c.name()) + "." + utf8(key);
        if (!info)
            fail(where_, "unknown property " + what);
        bool ok = false;
        switch (info->kind) {
        case PropKind::String:
        case PropKind::Enum:
            ok = value.is_string() && info->set(c, win::fromUtf8(value.get<std::string>()));
            break;
        case PropKind::Strings:
            ok = value.is_array() && info->set(c, joinLines(value));
            break;
        case PropKind::Integer:
            ok = value.is_number_integer() && info->set(c, value.get<int>());
            break;
        case PropKind::Boolean:
            ok = value.is_boolean() && info->set(c, value.get<bool>());
            break;
        case PropKind::Color: {
            TColor color;
            ok = value.is_string() && parseColor(win::fromUtf8(value.get<std::string>()), color) && info->set(c, color);
            break;
        }
        case PropKind::Picture: {
            const std::wstring name = value.is_string() ? win::fromUtf8(value.get<std::string>()) : L"";
            TPicture picture;
            if (!value.is_string() || !LoadPngResource(picture, name, kFileResourceType))
                fail(where_, "picture \"" + utf8(name) + "\" of " + what + " is missing or not a PNG");
            info->setPicture(c, picture);
            ok = true;
            break;
        }
        case PropKind::Font:
            ok = value.is_object() && applyFont(*info->font(c), value);
            break;
        case PropKind::Event:
            fail(where_, what + " is an event: name it under \"events\"");
        }
        if (!ok)
            fail(where_, "bad value for " + what);
    }

    static PropValue joinLines(const Json& list)
    {
        std::wstring text;
        for (size_t i = 0; i < list.size(); ++i)
            text += (i ? L"\r\n" : L"") + win::fromUtf8(list[i].is_string() ? list[i].get<std::string>() : "");
        return text;
    }

    static bool applyFont(TFont& font, const Json& fontJson)
    {
        for (const auto& [key, value] : fontJson.items()) {
            if (key == "name" && value.is_string())
                font.setName(win::fromUtf8(value.get<std::string>()));
            else if (key == "height" && value.is_number_integer())
                font.setHeight(value.get<int>());
            else if (key == "size" && value.is_number_integer())
                font.setSize(value.get<int>());
            else if (key == "color" && value.is_string()) {
                TColor color;
                if (!parseColor(win::fromUtf8(value.get<std::string>()), color))
                    return false;
                font.setColor(color);
            } else if (key == "style" && value.is_array()) {
                unsigned style = 0;
                for (const auto& item : value) {
                    const auto* named = std::find_if(std::begin(kFontStyles), std::end(kFontStyles),
                                                     [&item](const auto& s) { return item == s.first; });
                    if (named == std::end(kFontStyles))
                        return false;
                    style |= named->second;
                }
                font.setStyle(style);
            } else
                return false;
        }
        return true;
    }

    TForm& form_;
    const FormDesign& design_;
    std::string where_;
    std::vector<TComponent*> created_;
};

} // namespace

TComponent* createComponent(std::wstring_view className, TComponent* owner)
{
    for (const auto& [name, factory] : kClasses)
        if (name == className)
            return factory(owner);
    return nullptr;
}

void loadDesignText(TForm& form, std::string_view json, const FormDesign& design)
{
    const std::string name = utf8(design.resource);
    Json root;
    try {
        root = Json::parse(json);
    } catch (const Json::exception& e) {
        fail(name, e.what());
    }
    Loader(form, design, name).load(root);
}

void loadDesign(TForm& form, const FormDesign& design)
{
    const auto bytes = ownResourceBytes(design.resource, kDesignType);
    if (bytes.empty())
        fail(utf8(design.resource), "no such design resource");
    loadDesignText(form, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, design);
}
