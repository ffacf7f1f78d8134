// The current user's proxy settings (Internet Settings: ProxyEnable,
// ProxyServer, ProxyOverride) set for as long as the object lives, and what
// was there put back afterwards.
#pragma once

#include "system/Handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class ProxySettingsOverride {
public:
    ProxySettingsOverride(DWORD enable, const std::wstring& server, const std::wstring& override)
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
        for (const wchar_t* name : kNames)
            saved_.push_back(save(name));
        ::RegSetValueExW(key_.get(), kNames[0], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof(enable));
        setText(kNames[1], server);
        setText(kNames[2], override);
    }
    ProxySettingsOverride(const ProxySettingsOverride&) = delete;
    ProxySettingsOverride& operator=(const ProxySettingsOverride&) = delete;
    ~ProxySettingsOverride()
    {
        for (size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i])
                ::RegSetValueExW(key_.get(), kNames[i], 0, saved_[i]->type, saved_[i]->data.data(),
                                 static_cast<DWORD>(saved_[i]->data.size()));
            else
                ::RegDeleteValueW(key_.get(), kNames[i]);
        }
    }

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    static constexpr const wchar_t* kNames[] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"};

    struct Value {
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    std::optional<Value> save(const wchar_t* name) const
    {
        Value value;
        DWORD size = 0;
        if (::RegQueryValueExW(key_.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        value.data.resize(size);
        if (::RegQueryValueExW(key_.get(), name, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        value.data.resize(size);
        return value;
    }

    void setText(const wchar_t* name, const std::wstring& text)
    {
        ::RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    win::RegKey key_;
    std::vector<std::optional<Value>> saved_;
};
