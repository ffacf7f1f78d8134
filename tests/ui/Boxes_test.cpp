#include "UiTest.h"

#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

constexpr std::uint32_t kTitleBand = 0x0093FE;
constexpr std::uint32_t kCloseHover = 0xF24D4D;
constexpr std::uint32_t kClosePressed = 0xE63C3C;

void clickControl(TForm& form, const TControl& control)
{
    const POINT c = centreOf(control);
    ::PostMessageW(form.handle(), WM_MOUSEMOVE, 0, MAKELPARAM(c.x, c.y));
    ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, c.y));
    ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
}

void pressKey(TForm& form, WPARAM key)
{
    ::PostMessageW(form.handle(), WM_KEYDOWN, key, 0);
}

void pressEscape(TForm& form) { pressKey(form, VK_ESCAPE); }

} // namespace

TEST(ConfirmBox, OnlyYesAnswersTrue)
{
    whenModal([](TForm& f) { clickControl(f, *static_cast<TFrmConfirmbox&>(f).btnYes); });
    EXPECT_TRUE(ShowConfirmBox(L"Quit?"));
    whenModal([](TForm& f) { clickControl(f, *static_cast<TFrmConfirmbox&>(f).btnNo); });
    EXPECT_FALSE(ShowConfirmBox(L"Quit?"));
    whenModal([](TForm& f) { clickControl(f, *static_cast<TFrmConfirmbox&>(f).imgbtnClose); });
    EXPECT_FALSE(ShowConfirmBox(L"Quit?"));
    whenModal([](TForm& f) { pressEscape(f); });
    EXPECT_FALSE(ShowConfirmBox(L"Quit?"));
}

TEST(ConfirmBox, EnterAnswersTheFocusedButtonYesByDefaultTabMovesOn)
{
    whenModal([](TForm& f) { pressKey(f, VK_RETURN); });
    EXPECT_TRUE(ShowConfirmBox(L"Quit?"));
    // Reading order: the close button, Yes, No.
    std::vector<std::wstring> reached;
    whenModal([&](TForm& f) {
        auto& box = static_cast<TFrmConfirmbox&>(f);
        EXPECT_FALSE(f.focusCueShown()) << "no cue before the keyboard is used";
        EXPECT_EQ(f.focusedControl(), box.btnYes);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(f.navigationKey(MSG{f.handle(), WM_KEYDOWN, VK_TAB, 0, 0, {}}));
            reached.push_back(f.focusedControl()->name());
        }
        EXPECT_TRUE(f.focusCueShown());
        pressKey(f, VK_SPACE);
    });
    EXPECT_FALSE(ShowConfirmBox(L"Quit?"));
    EXPECT_EQ(reached, (std::vector<std::wstring>{L"btnNo", L"imgbtnClose", L"btnYes", L"btnNo"}));
}

TEST(MsgBox, EveryWayOutJustReturns)
{
    int shown = 0;
    whenModal([&](TForm& f) {
        ++shown;
        clickControl(f, *static_cast<TFrmMsgBox&>(f).btnOK);
    });
    ShowMsgBox(L"Done");
    whenModal([&](TForm& f) {
        ++shown;
        clickControl(f, *static_cast<TFrmMsgBox&>(f).imgbtnClose);
    });
    ShowMsgBox(L"Done");
    whenModal([&](TForm& f) {
        ++shown;
        pressEscape(f);
    });
    ShowMsgBox(L"Done");
    whenModal([&](TForm& f) {
        ++shown;
        pressKey(f, VK_RETURN);
    });
    ShowMsgBox(L"Done");
    EXPECT_EQ(shown, 4);
    EXPECT_TRUE(Application.forms().empty()) << "each box is freed by its function";
}

TEST(Boxes, TitlesTextsAndModalResults)
{
    const auto msg = makeForm<TFrmMsgBox>(L"text");
    EXPECT_EQ(msg->caption(), L"");
    EXPECT_EQ(msg->lblMsg->caption(), L"text");
    EXPECT_EQ(msg->clientWidth(), 410);
    EXPECT_EQ(msg->clientHeight(), 192);
    wchar_t title[64] = L"x";
    ::GetWindowTextW(msg->handle(), title, 64);
    EXPECT_STREQ(title, L"");
    whenModal([](TForm& f) { clickControl(f, *static_cast<TFrmMsgBox&>(f).btnOK); });
    EXPECT_EQ(msg->ShowModal(), mrOk);

    const auto ask = makeForm<TFrmConfirmbox>(L"");
    EXPECT_EQ(ask->caption(), L"FrmConfirmbox");
    EXPECT_EQ(ask->btnYes->caption(), L"是");
    EXPECT_EQ(ask->btnNo->caption(), L"否");
}

TEST(Boxes, DragToMoveOnBackgroundLabelsAndPicturesOnly)
{
    const auto ask = makeForm<TFrmConfirmbox>(L"q");
    EXPECT_TRUE(TCommLangForm::isMoveHandler(ask->OnMouseDown));
    for (const TControl* c : {static_cast<TControl*>(ask->imgMain), static_cast<TControl*>(ask->lblCaption),
                              static_cast<TControl*>(ask->imgIcon), static_cast<TControl*>(ask->lblMsg),
                              static_cast<TControl*>(ask->imgBottom), static_cast<TControl*>(ask->imgLeft),
                              static_cast<TControl*>(ask->imgRight)})
        EXPECT_TRUE(movesWindow(*c)) << std::string(c->name().begin(), c->name().end());
    EXPECT_FALSE(movesWindow(*ask->btnYes));
    EXPECT_FALSE(movesWindow(*ask->btnNo));
    EXPECT_FALSE(movesWindow(*ask->imgbtnClose));
    const auto msg = makeForm<TFrmMsgBox>(L"m");
    EXPECT_FALSE(movesWindow(*msg->btnOK));
    EXPECT_TRUE(movesWindow(*msg->lblMsg));
}

TEST(Boxes, PixelsOfTitleBandCloseGlyphAndButtons)
{
    const auto box = makeForm<TFrmMsgBox>(L"A short message");
    TForm& form = *box;
    form.handle();
    EXPECT_EQ(rgbAt(form.paintToPicture(), 200, 16), kTitleBand);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 378, 2), kTitleBand) << "close glyph ground is clear";
    EXPECT_EQ(rgbAt(form.paintToPicture(), 157, 143), 0x0093FEu) << "btnOK normal";

    moveTo(form, 393, 16);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 378, 2), kCloseHover);
    press(form, 393, 16);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 378, 2), kClosePressed);
    moveTo(form, 300, 100);
    release(form, 300, 100);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 378, 2), kTitleBand);

    // btnOK's 165 x 45 hover picture is shrunk to 100 x 27 one pixel down.
    moveTo(form, 160, 150);
    const TPicture hover = form.paintToPicture();
    EXPECT_EQ(rgbAt(hover, 157, 142), 0x2DA2F8u);
    EXPECT_EQ(rgbAt(hover, 157, 141), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(hover, 157, 169), 0xFFFFFFu);
    press(form, 160, 150);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 157, 143), 0x0084E4u);
}

TEST(Boxes, YesCaptionTurnsWhiteOnHoverAndNoDrawsItsHoverPictureClipped)
{
    const auto ask = makeForm<TFrmConfirmbox>(L"q");
    TForm& form = *ask;
    form.handle();
    moveTo(form, 200, 150);
    EXPECT_EQ(ask->btnYes->font().color(), clWhite);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 170, 139), 0x48B2FFu);
    moveTo(form, 330, 150);
    EXPECT_EQ(ask->btnYes->font().color(), clBlack);
    // btnNo is not proportional: the hover picture is centred and clipped,
    // covering the whole button.
    const TPicture p = form.paintToPicture();
    EXPECT_EQ(rgbAt(p, 293, 137), 0x2DA2F8u);
    EXPECT_EQ(rgbAt(p, 391, 166), 0x2DA2F8u);
    EXPECT_EQ(rgbAt(p, 170, 139), 0xFFFFFFu) << "btnYes normal again";
}

// Sizes and places at a real system DPI: SystemDpiTest (installer_dpi_tests).
TEST(Boxes, PaintedForTheDpiAt150And200Percent)
{
    // The message's text on the white body, at 96 DPI.
    const RECT message{93, 65, 393, 105};
    const RECT ink96 = inkBounds(makeForm<TFrmMsgBox>(L"A short message")->paintToPicture(), message, 0xFFFFFF);
    ASSERT_GT(ink96.bottom, ink96.top);
    for (const int dpi : {144, 192}) {
        const auto box = makeForm<TFrmMsgBox>(L"A short message");
        TForm& form = *box;
        form.scaleTo(dpi);
        const auto at = [dpi](int v) { return v * dpi / 96; };
        EXPECT_EQ(form.clientWidth(), 410) << "bounds stay in the design's units";
        const TPicture p = form.paintToPicture();
        ASSERT_EQ(p.width(), at(410));
        EXPECT_EQ(rgbAt(p, at(200), at(16)), kTitleBand) << dpi;
        const RECT ink = inkBounds(p, {at(message.left), at(message.top), at(message.right), at(message.bottom)},
                                   0xFFFFFF);
        EXPECT_NEAR(ink.bottom - ink.top, at(ink96.bottom - ink96.top), 2) << "text drawn at the scaled size";
        EXPECT_NEAR(ink.right - ink.left, at(ink96.right - ink96.left), at(4)) << dpi;
    }
}

TEST(Boxes, AssistiveProgramsSeeTheButtonsAndPressThem)
{
    const auto box = makeForm<TFrmConfirmbox>(L"您确定要退出安装吗?");
    whenModal([](TForm& f) {
        IAccessible* object = accessibleOf(f);
        ASSERT_NE(object, nullptr);
        EXPECT_NE(accessibleChild(*object, L"您确定要退出安装吗?", ROLE_SYSTEM_STATICTEXT), 0);
        EXPECT_NE(accessibleChild(*object, L"关闭", ROLE_SYSTEM_PUSHBUTTON), 0);
        const long yes = accessibleChild(*object, L"是", ROLE_SYSTEM_PUSHBUTTON);
        const long no = accessibleChild(*object, L"否", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_NE(no, 0);
        EXPECT_NE(accessibleState(*object, yes) & STATE_SYSTEM_DEFAULT, 0);
        long x = 0, y = 0, w = 0, h = 0;
        object->accLocation(&x, &y, &w, &h, childId(no));
        EXPECT_EQ(w, 100);
        EXPECT_EQ(h, 30);
        EXPECT_EQ(object->accDoDefaultAction(childId(no)), S_OK);
        object->Release();
    });
    EXPECT_EQ(box->ShowModal(), mrCancel) << "No pressed";
}
