#include "ui/Component.h"

#include <algorithm>

bool sameText(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && _wcsnicmp(a.data(), b.data(), a.size()) == 0;
}

bool startsWithText(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

void PropertyList::add(PropInfo info)
{
    for (auto& item : items_) {
        if (sameText(item.name, info.name)) {
            item = std::move(info);
            return;
        }
    }
    items_.push_back(std::move(info));
}

const PropInfo* PropertyList::find(std::wstring_view name) const
{
    for (const auto& item : items_)
        if (sameText(item.name, name))
            return &item;
    return nullptr;
}

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent()
{
    destroyComponents();
    if (owner_)
        std::erase(owner_->components_, this);
}

void TComponent::destroyComponents()
{
    while (!components_.empty())
        delete components_.back();
}

TComponent* TComponent::findComponent(std::wstring_view name) const
{
    if (name.empty())
        return nullptr;
    for (auto* c : components_)
        if (sameText(c->name(), name))
            return c;
    return nullptr;
}

const PropertyList& TComponent::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l;
        l.string<TComponent>(L"Name", &TComponent::name, &TComponent::setName);
        return l;
    }();
    return list;
}

bool TComponent::hasProperty(std::wstring_view name, PropKind kind) const
{
    const auto* info = findProperty(name);
    return info && info->kind == kind;
}

PropValue TComponent::getProperty(std::wstring_view name) const
{
    const auto* info = findProperty(name);
    if (!info || !info->get)
        return {};
    return info->get(*this);
}

bool TComponent::setProperty(std::wstring_view name, const PropValue& value)
{
    const auto* info = findProperty(name);
    return info && info->set && info->set(*this, value);
}

TFont* TComponent::fontProperty(std::wstring_view name)
{
    const auto* info = findProperty(name);
    return info && info->font ? info->font(*this) : nullptr;
}

const TPicture* TComponent::pictureProperty(std::wstring_view name) const
{
    const auto* info = findProperty(name);
    return info && info->picture ? info->picture(*this) : nullptr;
}

bool TComponent::setPictureProperty(std::wstring_view name, const TPicture& picture)
{
    const auto* info = findProperty(name);
    if (!info || !info->setPicture)
        return false;
    info->setPicture(*this, picture);
    return true;
}

void TComponent::endLoading()
{
    loading_ = false;
    loaded();
}
