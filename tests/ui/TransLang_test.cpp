#include "UiTest.h"

#include "ui/Obj_TransLang.h"
#include "ui/StdCtrls.h"
#include "ui/UntMsgBox.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uitest;

namespace {

bool contains(const std::vector<std::wstring>& list, const std::wstring& line)
{
    return std::find(list.begin(), list.end(), line) != list.end();
}

} // namespace

TEST(TransLang, ShippedProgramKeepsDesignTextsAndGetsTheFont)
{
    std::vector<std::wstring> lines;
    EXPECT_FALSE(TTransLang::LoadLangResource(L"CH", lines));
    const auto box = makeForm<TFrmMsgBox>(L"msg");
    EXPECT_EQ(box->btnOK->caption(), L"确定");
    EXPECT_EQ(box->lblCaption->caption(), L"提示");
    EXPECT_EQ(box->lblCaption->font().name(), L"Microsoft YaHei");
    EXPECT_EQ(box->font().name(), L"Tahoma");
    EXPECT_EQ(box->font().size(), 9);
}

TEST(TransLang, MessageBoxSectionSetsCaptionsLineBreaksAndVersion)
{
    const auto box = makeForm<TFrmMsgBox>(L"msg");
    TTransLang translator(L"1.00", Lang_EN, false);
    translator.TransFormLang(*box);
    EXPECT_EQ(box->btnOK->caption(), L"OK");
    EXPECT_EQ(box->lblMsg->caption(), L"line1\r\nline2");
    EXPECT_EQ(box->lblCaption->caption(), L"Version  1.00");
    // Every control a line names takes the window's font name.
    EXPECT_EQ(box->btnOK->font().name(), L"Tahoma");
    EXPECT_EQ(box->btnOK->font().height(), -15);
}

TEST(TransLang, SectionHeaderIsCaseSensitive)
{
    const auto box = makeForm<TFrmMsgBox>(L"msg");
    box->setName(L"frmmsgbox");
    TTransLang(L"1.00", Lang_EN, false).TransFormLang(*box);
    EXPECT_EQ(box->btnOK->caption(), L"wrong case") << "the lower-case section belongs to a lower-case name";
    box->setName(L"FRMMSGBOX");
    box->btnOK->setCaption(L"确定");
    TTransLang(L"1.00", Lang_EN, false).TransFormLang(*box);
    EXPECT_EQ(box->btnOK->caption(), L"确定");
}

TEST(TransLang, PropertyCodesListsAndWindowTitle)
{
    TFrmLangTest form;
    EXPECT_EQ(form.caption(), L"Design title") << "no Chinese table in this program";
    const int panelWidth = form.get<TPanel>(L"pnl1")->width();
    TTransLang(L"2.5", Lang_EN, false).TransFormLang(form);

    EXPECT_EQ(form.caption(), L"Frm wins") << "an Frm name is the window even when a control has it";
    EXPECT_EQ(form.get<TPanel>(L"FrmPanel")->caption(), L"panel");
    EXPECT_EQ(form.get<TLabel>(L"lblTitle")->caption(), L"a=b=c");
    EXPECT_EQ(form.get<TLabel>(L"lblTitle")->font().name(), L"Tahoma");
    auto* edit = form.get<TEdit>(L"edtPath");
    EXPECT_EQ(edit->text(), L"C:\\Program Files");
    EXPECT_EQ(edit->caption(), L"") << "an edt name takes Text, not Caption";
    EXPECT_EQ(edit->hint(), L"where");
    EXPECT_EQ(form.get<TPanel>(L"pnl1")->width(), panelWidth - 20);
    EXPECT_EQ(form.get<TPanel>(L"pnl1")->left(), 15);
    EXPECT_EQ(form.get<TListView>(L"lvFiles")->items(), (std::vector<std::wstring>{L"Name", L"Size", L"C"}));
    EXPECT_EQ(form.get<TListView>(L"lvOther")->items(), (std::vector<std::wstring>{L"Name", L"B"}))
        << "text after the last | is no item";
    EXPECT_EQ(form.get<TComboBox>(L"cbKind")->items(), (std::vector<std::wstring>{L"One", L"Two"}));
    EXPECT_EQ(form.get<TStatusBar>(L"sbMain")->items(), (std::vector<std::wstring>{L"Ready", L"p1"}));
    EXPECT_EQ(form.get<TProgressBar>(L"pbMain")->progressText(), L"Working");
    EXPECT_EQ(form.get<TLinkLabel>(L"lnkHome")->url(), L"http://docs.invalid/");
}

TEST(TransLang, BadRelativeNumberStopsAtItsLine)
{
    TFrmLangTest form;
    form.setName(L"FrmBadNumber");
    const int width = form.get<TPanel>(L"pnl1")->width();
    EXPECT_THROW(TTransLang(L"1.00", Lang_EN, false).TransFormLang(form), ELangConvertError);
    EXPECT_EQ(form.get<TLabel>(L"lblTitle")->caption(), L"applied");
    EXPECT_EQ(form.get<TPanel>(L"pnl1")->width(), width);
    EXPECT_EQ(form.get<TEdit>(L"edtPath")->text(), L"C:\\Apps");
}

TEST(TransLang, MessageTable)
{
    TTransLang translator(L"1.00", Lang_EN, true);
    EXPECT_EQ(translator.langName(), L"EN");
    EXPECT_EQ(translator.msgList().size(), 1u);
    EXPECT_EQ(translator.msgList().at(L"hello"), L"Hello\r\nWorld");
    std::vector<std::wstring> section;
    EXPECT_TRUE(TTransLang::GetFormSection(translator.allLines(), L"FrmMsgBox", section));
    EXPECT_EQ(section.size(), 3u);
    EXPECT_FALSE(TTransLang::GetFormSection(translator.allLines(), L"FrmNone", section));
}

TEST(TransLang, TemplateListsEveryOpenWindow)
{
    TFrmLangTest form;
    form.get<TLabel>(L"lblTitle")->setCaption(L"two\r\nlines");
    TTransLang translator(L"1.00", Lang_CH, false);
    std::vector<std::wstring> list;
    translator.GetFormCompInfo(list);
    EXPECT_TRUE(contains(list, L"[FrmLangTest]"));
    EXPECT_TRUE(contains(list, L"FrmCaptionText=Design title"));
    EXPECT_TRUE(contains(list, L"lblTitleText=two#$lines"));
    EXPECT_TRUE(contains(list, L"edtPathText=C:\\Apps"));
    EXPECT_TRUE(contains(list, L"lvFilesColu=A|B|C|"));
    EXPECT_TRUE(contains(list, L"cbKindComb=x|"));
    EXPECT_TRUE(contains(list, L"sbMainSBar=p0|p1|"));
    EXPECT_TRUE(contains(list, L"tbOneText=one"));
    EXPECT_EQ(list.back(), L"[End]");

    translator.GetFormCompInfo(form);
    auto* memo = designComponent<TMemo>(form, L"mmo1");
    EXPECT_EQ(memo->left(), 8);
    EXPECT_EQ(memo->width(), 369);
    EXPECT_EQ(memo->lines().substr(0, 6), L"mmo1\r\n");
    EXPECT_NE(memo->lines().find(L"[FrmLangTest]"), std::wstring::npos);
}
