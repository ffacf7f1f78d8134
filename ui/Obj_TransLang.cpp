#include "ui/Obj_TransLang.h"

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include "system/util.h"

#include <algorithm>
#include <cwctype>

const std::array<std::wstring_view, 10> LangNames = {L"English", L"Français", L"Deutsch", L"日本語", L"韓国語",
                                                     L"русский", L"español", L"Türkçe", L"简体中文", L"繁體中文"};
const std::array<std::wstring_view, 10> LangCodes = {L"EN", L"FR", L"GE", L"JA", L"KO",
                                                     L"RU", L"SP", L"TU", L"CH", L"HK"};
const std::array<std::wstring_view, 10> LangFonts = {L"Tahoma", L"Tahoma", L"Tahoma", L"MS Mincho", L"Tahoma",
                                                     L"Arial Narrow", L"Tahoma", L"Tahoma", L"Tahoma", L"新細明體"};
const std::array<int, 10> LangFontSizes = {9, 9, 9, 9, 8, 9, 9, 9, 9, 9};

namespace {

constexpr wchar_t kLangResourceType[] = L"Lang";
constexpr wchar_t kMessageSection[] = L"TranMsg";
constexpr wchar_t kSectionEnd[] = L"[End]";
constexpr wchar_t kLineBreakMark[] = L"#$";
constexpr wchar_t kVersionMark[] = L"[Version]";
constexpr wchar_t kWindowPrefix[] = L"Frm";
constexpr wchar_t kEditPrefix[] = L"edt";
constexpr wchar_t kListEnd = L'|';
constexpr wchar_t kTemplateCaptionKey[] = L"FrmCaptionText=";
// Classes whose caption and hint the template generator lists (any class
// whose name occurs in this text).
constexpr wchar_t kCaptionClasses[] =
    L"TMenuItem,TToolButton,TGroupBox,TCheckBox,TRadioButton,TLabel,TSpeedButton,TBitBtn,TTextImageButton,TButton,"
    L"TbsSkinButton,TbsSkinCheckRadioBox,TbsSkinCheckRadioBox,TbsSkinStatusPanel,TbsSkinPanel,TbsSkinGroupBox,"
    L"TbsSkinStdLabel,TbsSkinLinkLabel";
constexpr wchar_t kMemoName[] = L"mmo1";

struct CodeMapping {
    const wchar_t* code;
    const wchar_t* property;
};

constexpr CodeMapping kCodes[] = {
    {L"Text", L"Caption"}, {L"Hint", L"Hint"}, {L"Widt", L"Width"}, {L"Left", L"Left"},
    {L"Prog", L"ProgressText"}, {L"URLL", L"URL"}, {L"Colu", L"Colu"}, {L"SBar", L"SBar"}, {L"Comb", L"Comb"},
};

// The "|"-ended items of VALUE; text after the last "|" is not an item.
std::vector<std::wstring> listItems(const std::wstring& value)
{
    std::vector<std::wstring> items;
    size_t start = 0;
    for (size_t end; (end = value.find(kListEnd, start)) != std::wstring::npos; start = end + 1)
        items.push_back(value.substr(start, end - start));
    return items;
}

// A whole number as the platform's integer conversion reads it.
int toInteger(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == L' ')
        ++i;
    const bool negative = i < text.size() && text[i] == L'-';
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        ++i;
    if (i == text.size())
        throw ELangConvertError("'" + std::string(text.begin(), text.end()) + "' is not a valid integer value");
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::iswdigit(text[i]) || text[i] > L'9' || (value = value * 10 + (text[i] - L'0')) > 0x80000000LL)
            throw ELangConvertError("not a valid integer value in a language line");
    }
    if (!negative && value > 0x7FFFFFFFLL)
        throw ELangConvertError("integer value out of range in a language line");
    return static_cast<int>(negative ? -value : value);
}

std::wstring withLineMarks(std::wstring text) { return replaceText(text, L"\r\n", kLineBreakMark, true); }

std::wstring joinedItems(const std::vector<std::wstring>& items)
{
    std::wstring text;
    for (const auto& item : items)
        text += item + kListEnd;
    return text;
}

} // namespace

TTransLang::TTransLang(const std::wstring& SoftVer, TLanguage Lang, bool bTranMsg)
    : TTransLang(TSoftInfo{L"", SoftVer, 0, Lang}, bTranMsg)
{
}

TTransLang::TTransLang(const TSoftInfo& softinfo, bool bTranMsg)
    : FSoftVer(softinfo.softVer), FLang(softinfo.lang), FLangName(LangCodes[FLang])
{
    LoadLangResource(FLangName, FAllStrList);
    if (bTranMsg) {
        LoadTranMsg();
        DoAfterLoadMsg();
    }
}

bool TTransLang::LoadLangResource(const std::wstring& name, std::vector<std::wstring>& list)
{
    std::wstring text;
    if (!loadResourceText(name, kLangResourceType, false, text))
        return false;
    list.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        list.push_back(std::move(line));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return true;
}

bool TTransLang::GetFormSection(const std::vector<std::wstring>& lines, std::wstring_view formName,
                                std::vector<std::wstring>& section)
{
    const std::wstring header = L"[" + std::wstring(formName) + L"]";
    auto it = std::find(lines.begin(), lines.end(), header);
    if (it == lines.end())
        return false;
    for (++it; it != lines.end() && *it != kSectionEnd; ++it)
        section.push_back(*it);
    return true;
}

void TTransLang::LoadTranMsg()
{
    std::vector<std::wstring> section;
    GetFormSection(FAllStrList, kMessageSection, section);
    for (const auto& raw : section) {
        const std::wstring line = replaceText(raw, kLineBreakMark, L"\r\n", true);
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        if (!FMsgList.emplace(line.substr(0, eq), line.substr(eq + 1)).second)
            throw std::runtime_error("the message table of the language resource repeats a key");
    }
}

bool TTransLang::ParseLangLine(const std::wstring& line, LangLine& parsed) const
{
    const size_t eq = line.find(L'=');
    if (eq == std::wstring::npos)
        return false;
    const std::wstring key = line.substr(0, eq);
    const size_t split = key.size() >= 4 ? key.size() - 4 : 0;
    parsed.component = key.substr(0, split);
    const std::wstring code = key.substr(split);
    parsed.property = code;
    for (const auto& mapping : kCodes)
        if (code == mapping.code)
            parsed.property = mapping.property;
    if (code == L"Text" && parsed.component.starts_with(kEditPrefix))
        parsed.property = L"Text";

    std::wstring value = replaceText(line.substr(eq + 1), kLineBreakMark, L"\r\n", true);
    if (const size_t mark = value.find(kVersionMark); mark != std::wstring::npos)
        value = value.substr(0, mark) + L" " + FSoftVer;
    parsed.value = std::move(value);
    return true;
}

void TTransLang::TransFormLang(TForm& Form)
{
    Form.font().setName(std::wstring(LangFonts[FLang]));
    Form.font().setSize(LangFontSizes[FLang]);
    std::vector<std::wstring> section;
    GetFormSection(FAllStrList, Form.name(), section);
    ApplyFormSection(Form, section);
}

void TTransLang::ApplyFormSection(TForm& Form, const std::vector<std::wstring>& section) const
{
    for (const auto& line : section) {
        LangLine parsed;
        if (!ParseLangLine(line, parsed))
            continue;
        if (startsWithText(parsed.component, kWindowPrefix)) {
            Form.setCaption(parsed.value);
            continue;
        }
        TComponent* c = Form.findComponent(parsed.component);
        if (!c)
            continue;
        const std::wstring_view cls = c->className();
        if (parsed.property == L"Colu") {
            // Our list view stands for every list-view kind the table names.
            if (auto* list = dynamic_cast<TListView*>(c); list && cls == L"TListView") {
                const auto items = listItems(parsed.value);
                for (size_t n = 0; n < items.size(); ++n)
                    list->setItem(n, items[n]);
            }
        }
        if (parsed.property == L"SBar") {
            if (auto* bar = dynamic_cast<TStatusBar*>(c)) {
                const auto items = listItems(parsed.value);
                for (size_t n = 0; n < items.size(); ++n)
                    bar->setItem(n, items[n]);
            }
        }
        if (parsed.property == L"Comb") {
            if (auto* combo = dynamic_cast<TComboBox*>(c); combo && cls == L"TComboBox") {
                combo->clearItems();
                for (auto& item : listItems(parsed.value))
                    combo->addItem(std::move(item));
            }
        }
        if (parsed.property == L"Width" || parsed.property == L"Left") {
            const PropValue current = c->getProperty(parsed.property);
            if (const int* number = std::get_if<int>(&current))
                c->setProperty(parsed.property, *number + toInteger(parsed.value));
        }
        // The memo stands for the skin library's text label and memo.
        if (auto* memo = dynamic_cast<TMemo*>(c); memo && cls == L"TMemo")
            memo->setLines(parsed.value);
        if (c->hasProperty(parsed.property, PropKind::String))
            c->setProperty(parsed.property, parsed.value);
        if (TFont* font = c->fontProperty(L"Font"))
            font->setName(Form.font().name());
    }
}

void TTransLang::GetFormCompInfo(std::vector<std::wstring>& list) const
{
    const std::wstring_view captionClasses = kCaptionClasses;
    for (TForm* form : Application.forms()) {
        list.push_back(L"");
        list.push_back(L"[" + form->name() + L"]");
        list.push_back(kTemplateCaptionKey + form->caption());
        for (TComponent* c : form->components()) {
            const std::wstring_view cls = c->className();
            std::wstring text, hint, columns, combo, panels;
            auto* control = dynamic_cast<TControl*>(c);
            if (control && captionClasses.find(cls) != std::wstring_view::npos) {
                text = control->caption();
                hint = control->hint();
            }
            if (auto* memo = dynamic_cast<TMemo*>(c)) {
                text = memo->lines();
                hint = memo->hint();
            } else if (auto* edit = dynamic_cast<TEdit*>(c)) {
                text = edit->text();
                hint = edit->hint();
            } else if (cls == L"TTabSheet") {
                text = control->caption();
            } else if (cls == L"TImage") {
                hint = control->hint();
            } else if (auto* view = dynamic_cast<TListView*>(c)) {
                hint = view->hint();
                columns = joinedItems(view->items());
            } else if (auto* box = dynamic_cast<TComboBox*>(c)) {
                combo = joinedItems(box->items());
            } else if (auto* bar = dynamic_cast<TStatusBar*>(c)) {
                panels = joinedItems(bar->items());
            }
            text = withLineMarks(text);
            const std::pair<const wchar_t*, const std::wstring*> entries[] = {
                {L"Text", &text}, {L"Hint", &hint}, {L"Colu", &columns}, {L"Comb", &combo}, {L"SBar", &panels}};
            for (const auto& [code, gathered] : entries)
                if (!gathered->empty())
                    list.push_back(c->name() + code + L"=" + *gathered);
        }
        list.push_back(kSectionEnd);
    }
}

void TTransLang::GetFormCompInfo(TForm& txt_list_owner) const
{
    auto* memo = new TMemo(&txt_list_owner);
    memo->setName(kMemoName);
    memo->setParent(&txt_list_owner);
    memo->setBounds(8, 16, 369, 241);
    memo->setLines(L"");
    memo->addLine(kMemoName);
    std::vector<std::wstring> list;
    GetFormCompInfo(list);
    for (const auto& line : list)
        memo->addLine(line);
}
