// TTransLang: sets a window's font for a language and replaces the texts of
// the window and its controls with those of the language's table, a resource
// of type "Lang" named by the language code with one section per window:
//
//   [FrmMsgBox]
//   FrmCaptionText=Notice
//   btnOKText=OK
//   lblMsgText=line one#$line two
//   [End]
//
// The section "TranMsg" holds a message table of KEY=VALUE lines.
#pragma once

#include "ui/CommConst.h"

#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TForm;

extern const std::array<std::wstring_view, 10> LangNames;
extern const std::array<std::wstring_view, 10> LangCodes;
extern const std::array<std::wstring_view, 10> LangFonts;
extern const std::array<int, 10> LangFontSizes;

// A "Widt" or "Left" value that is not a whole number: the translation of the
// window stops at that line.
class ELangConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TTransLang {
public:
    TTransLang(const std::wstring& SoftVer, TLanguage Lang, bool bTranMsg);
    // Throws std::runtime_error when the message table repeats a key.
    TTransLang(const TSoftInfo& softinfo, bool bTranMsg);
    virtual ~TTransLang() = default;
    TTransLang(const TTransLang&) = delete;
    TTransLang& operator=(const TTransLang&) = delete;

    // Font of the language, then the window's section (ELangConvertError on a
    // relative width or position that is not a whole number).
    void TransFormLang(TForm& Form);
    // Appends a section template for every open window to LIST.
    void GetFormCompInfo(std::vector<std::wstring>& list) const;
    // Puts a memo "mmo1" on TXT_LIST_OWNER and fills it with the template.
    void GetFormCompInfo(TForm& txt_list_owner) const;

    const std::wstring& langName() const { return FLangName; }
    const std::map<std::wstring, std::wstring>& msgList() const { return FMsgList; }
    const std::vector<std::wstring>& allLines() const { return FAllStrList; }

    static bool LoadLangResource(const std::wstring& name, std::vector<std::wstring>& list);
    static bool GetFormSection(const std::vector<std::wstring>& lines, std::wstring_view formName,
                               std::vector<std::wstring>& section);

protected:
    // After the message table is loaded (a derived translator reads it here;
    // called from the constructor, so only this class's version runs).
    virtual void DoAfterLoadMsg() {}

private:
    struct LangLine {
        std::wstring component;
        std::wstring property;
        std::wstring value;
    };
    bool ParseLangLine(const std::wstring& line, LangLine& parsed) const;
    void LoadTranMsg();
    void ApplyFormSection(TForm& Form, const std::vector<std::wstring>& section) const;

    std::wstring FSoftVer;
    TLanguage FLang;
    std::wstring FLangName;
    std::map<std::wstring, std::wstring> FMsgList;
    std::vector<std::wstring> FAllStrList;
};
