#include "UiTest.h"

#include "ui/Design.h"
#include "ui/PngImage.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include "tests/support/DialogAnswerer.h"
#include "ui/SystemBoxes.h"
#include "system/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace uitest;

namespace {

// A form with a handler table, loaded from design texts.
class TFrmHandlers : public TForm {
public:
    TFrmHandlers() : TForm(nullptr) {}
    static const FormDesign& design()
    {
        static const FormDesign d{L"test design",
                                  {handler(L"btnClick", &TFrmHandlers::btnClick),
                                   handler(L"imgMouseDown", &TFrmHandlers::imgMouseDown)}};
        return d;
    }
    void btnClick(TComponent*) { ++clicks; }
    void imgMouseDown(TComponent*, TMouseButton, TShiftState, int, int) { ++downs; }
    int clicks = 0;
    int downs = 0;
};

std::string loadError(const std::string& json)
{
    TFrmHandlers form;
    try {
        loadDesignText(form, json, TFrmHandlers::design());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ComponentModel, OwnershipNamesAndPublishedProperties)
{
    TForm form(nullptr);
    auto* label = new TLabel(&form);
    label->setName(L"lblHello");
    label->setParent(&form);
    EXPECT_EQ(form.findComponent(L"LBLHELLO"), label);
    EXPECT_EQ(label->className(), L"TLabel");

    EXPECT_TRUE(label->setProperty(L"caption", std::wstring(L"hi")));
    EXPECT_EQ(label->caption(), L"hi");
    EXPECT_TRUE(label->setProperty(L"Left", 42));
    EXPECT_EQ(std::get<int>(label->getProperty(L"LEFT")), 42);
    EXPECT_FALSE(label->setProperty(L"Left", std::wstring(L"x"))) << "wrong kind";
    EXPECT_FALSE(label->setProperty(L"NoSuch", 1));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(label->getProperty(L"NoSuch")));
    EXPECT_TRUE(label->hasProperty(L"Font", PropKind::Font));
    EXPECT_TRUE(label->setProperty(L"Align", std::wstring(L"client")));
    EXPECT_EQ(label->align(), TAlign::alClient);
    EXPECT_EQ(label->width(), form.clientWidth());

    delete label;
    EXPECT_EQ(form.findComponent(L"lblHello"), nullptr);
    EXPECT_TRUE(form.controls().empty());
}

TEST(DesignLoader, BindsHandlersByNameAndFailsOnEveryUnknownName)
{
    TFrmHandlers form;
    loadDesignText(form, R"({ "class": "TFrmHandlers", "name": "FrmHandlers", "clientWidth": 200,
        "controls": [
          { "class": "TTextImageButton", "name": "btnGo", "bounds": [10, 10, 50, 20],
            "events": { "onClick": "btnClick" } },
          { "class": "TImage", "name": "imgA", "bounds": [100, 10, 20, 20], "picture": "icon_warn",
            "events": { "onMouseDown": "imgMouseDown" } } ] })",
                   TFrmHandlers::design());
    EXPECT_EQ(form.name(), L"FrmHandlers");
    clickAt(form, 20, 20);
    EXPECT_EQ(form.clicks, 1);
    press(form, 105, 15);
    release(form, 105, 15);
    EXPECT_EQ(form.downs, 1);
    auto* image = designComponent<TImage>(form, L"imgA");
    EXPECT_EQ(image->picture().width(), 40) << "design picture loaded from the resource";

    EXPECT_NE(loadError(R"({"class":"T","controls":[{"class":"TButtonX","name":"b"}]})").find("unknown class"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"class":"T","controls":[{"class":"TLabel","name":"l","captoin":"x"}]})")
                  .find("unknown property"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"class":"T","controls":[{"class":"TImage","name":"i","picture":"nosuch"}]})")
                  .find("picture \"nosuch\""),
              std::string::npos);
    EXPECT_NE(loadError(R"({"class":"T","events":{"onShow":"nosuchHandler"}})").find("unknown handler"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"class":"T","events":{"onShow":"imgMouseDown"}})").find("does not fit"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"class":"T","controls":[{"class":"TLabel","name":"l","left":"ten"}]})")
                  .find("bad value"),
              std::string::npos);
    EXPECT_NE(loadError("{ not json").find("test design"), std::string::npos);

    // A form whose design fails to build leaves no trace in the application.
    const FormDesign missing{L"NoSuchDesign", {}};
    const size_t forms = Application.forms().size();
    EXPECT_THROW(TForm(nullptr, &missing), std::runtime_error);
    EXPECT_EQ(Application.forms().size(), forms);
}

namespace {

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list)
{
    if (!IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(name);
    return TRUE;
}

} // namespace

TEST(DesignLoader, EveryDesignOfTheProgramLoads)
{
    // Each window built from its design, as a user would get it; a design
    // without a window here fails, so every design gets checked.
    const std::pair<std::wstring, std::function<void()>> windows[] = {
        {L"FRMMSGBOX", [] { makeForm<TFrmMsgBox>(L"x"); }},
        {L"FRMCONFIRMBOX", [] { makeForm<TFrmConfirmbox>(L"x"); }},
        {L"FRMLANGTEST", [] { TFrmLangTest form; }},
        // Windows of other subsystems, built by their own tests.
        {L"FRMBIGCOUPON", nullptr},     // offer_tests
        {L"FRMCOMMINST", nullptr},      // installer_tests
        {L"FRMDOWNFRAMEWORK", nullptr}, // net_tests
    };
    std::vector<std::wstring> designs;
    ::EnumResourceNamesW(nullptr, L"DESIGN", collectName, reinterpret_cast<LONG_PTR>(&designs));
    EXPECT_EQ(designs.size(), std::size(windows));
    for (const auto& design : designs) {
        const auto* window = std::find_if(std::begin(windows), std::end(windows),
                                          [&](const auto& w) { return w.first == design; });
        ASSERT_NE(window, std::end(windows)) << "no test builds the window of design " << design;
        if (window->second) {
            EXPECT_NO_THROW(window->second());
        }
    }
}

TEST(Layout, AlignmentFollowsKindThenPosition)
{
    const auto box = makeForm<TFrmConfirmbox>(L"");
    EXPECT_EQ(box->imgMain->boundsRect().bottom, 192);
    EXPECT_EQ(box->imgBottom->top(), 190);
    EXPECT_EQ(box->imgBottom->width(), 410);
    // The right line comes after the top and bottom ones took the height.
    EXPECT_EQ(box->imgRight->left(), 408);
    EXPECT_EQ(box->imgRight->top(), 192);
    EXPECT_EQ(box->imgLeft->left(), -2);
    EXPECT_EQ(box->imgLeft->top(), -68);
}

TEST(Layout, WordWrappedLabelGrowsDownAndKeepsItsWidth)
{
    const auto box = makeForm<TFrmMsgBox>(L"");
    const int oneLine = box->lblMsg->height();
    EXPECT_GT(oneLine, 10) << "an empty label keeps one line";
    box->lblMsg->setCaption(std::wstring(200, L'字'));
    EXPECT_EQ(box->lblMsg->width(), 300);
    EXPECT_GT(box->lblMsg->height(), 4 * oneLine);
    EXPECT_EQ(box->btnOK->top(), 141) << "no other control moves";
    box->lblMsg->setCaption(L"first\r\nsecond");
    EXPECT_EQ(box->lblMsg->height(), 2 * oneLine);
}

TEST(Colours, HotLightTextKeepsTheSystemColourOnlyWhereItReads)
{
    constexpr COLORREF white = RGB(0xFF, 0xFF, 0xFF), panel = RGB(0xF9, 0xF9, 0xF9);
    EXPECT_NEAR(contrastRatio(RGB(0, 0, 0), white), 21.0, 1e-9);
    // The lightest grey that reads on white (4.54:1) and the next (4.48:1).
    EXPECT_EQ(readableHotLight(RGB(0x76, 0x76, 0x76), white), RGB(0x76, 0x76, 0x76));
    const COLORREF replaced = readableHotLight(RGB(0x77, 0x77, 0x77), white);
    EXPECT_NE(replaced, RGB(0x77, 0x77, 0x77));
    EXPECT_GE(contrastRatio(readableHotLight(RGB(0xE0, 0xE0, 0xE0), panel), panel), 4.5);
    EXPECT_EQ(readableHotLight(RGB(0xE0, 0xE0, 0xE0), RGB(0, 0, 0)), RGB(0xE0, 0xE0, 0xE0));

    // A transparent label applies it against its parent's colour.
    TForm form(nullptr);
    form.setBounds(0, 0, 120, 60);
    auto* backing = new TPanel(&form);
    backing->setParent(&form);
    backing->setBounds(0, 0, 120, 60);
    backing->setColor(static_cast<TColor>(panel));
    auto* label = new TLabel(&form);
    label->setParent(backing);
    label->setTransparent(true);
    label->setColor(clBlack); // not what lies beneath it
    label->font().setHeight(-40);
    label->font().setStyle(fsBold);
    label->font().setColor(clHotLight);
    label->setCaption(L"MM");
    const TPicture shot = form.paintToPicture();
    const COLORREF expected = readableHotLight(::GetSysColor(COLOR_HOTLIGHT), panel);
    const std::uint32_t rgb = GetRValue(expected) << 16 | GetGValue(expected) << 8 | GetBValue(expected);
    int inExpected = 0;
    for (int y = 0; y < label->height(); ++y)
        for (int x = 0; x < label->width(); ++x)
            inExpected += rgbAt(shot, x, y) == rgb;
    EXPECT_GT(inExpected, 20);
}

TEST(Colours, HighContrastThemeDrawsTextBehindItAndFocusInSystemColoursUntilItGoes)
{
    TForm form(nullptr);
    form.setBounds(0, 0, 200, 100);
    form.setColor(static_cast<TColor>(RGB(0x20, 0x80, 0x20)));
    auto* label = new TLabel(&form);
    label->setParent(&form);
    label->setTransparent(true);
    label->setBounds(4, 4, 0, 0);
    label->font().setHeight(-24);
    label->font().setColor(static_cast<TColor>(RGB(0xFF, 0, 0)));
    label->setCaption(L"MM");
    auto* grey = new TLabel(&form);
    grey->setParent(&form);
    grey->setBounds(4, 50, 0, 0);
    grey->font().setHeight(-24);
    grey->setCaption(L"MM");
    grey->setEnabled(false);
    auto* button = new TTextImageButton(&form);
    button->setParent(&form);
    button->setBounds(100, 10, 80, 30);
    TPicture blue;
    blue.setPixels(80, 30, std::vector<std::uint32_t>(80 * 30, 0xFF0000FFu));
    button->setBitmap(blue);
    button->font().setHeight(-20);
    button->setCaption(L"MM");
    button->OnClick = [](TComponent*) {};
    form.setFocusedControl(button, true);
    const TPicture normal = form.paintToPicture();

    bool on = true;
    setHighContrastSource([&on] { return on; });
    ::SendMessageW(form.handle(), WM_SYSCOLORCHANGE, 0, 0);
    const TPicture contrast = form.paintToPicture();
    const auto sys = [](int index) {
        const COLORREF c = ::GetSysColor(index);
        return static_cast<std::uint32_t>(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
    };
    const auto count = [&contrast](const TControl& c, std::uint32_t rgb) {
        int n = 0;
        for (int y = c.top(); y < c.top() + c.height(); ++y)
            for (int x = c.left(); x < c.left() + c.width(); ++x)
                n += rgbAt(contrast, x, y) == rgb;
        return n;
    };
    EXPECT_EQ(rgbAt(contrast, 199, 99), sys(COLOR_WINDOW));
    EXPECT_EQ(rgbAt(contrast, label->left(), label->top()), sys(COLOR_WINDOW));
    EXPECT_GT(count(*label, sys(COLOR_WINDOWTEXT)), 20);
    EXPECT_EQ(count(*label, 0xFF0000u), 0);
    EXPECT_GT(count(*grey, sys(COLOR_GRAYTEXT)), 20);
    EXPECT_EQ(rgbAt(contrast, 100, 10), sys(COLOR_BTNTEXT)) << "button frame";
    EXPECT_EQ(rgbAt(contrast, 140, 13), sys(COLOR_HIGHLIGHT)) << "focus frame";
    EXPECT_EQ(rgbAt(contrast, 106, 16), sys(COLOR_BTNFACE));
    EXPECT_GT(count(*button, sys(COLOR_BTNTEXT)), 20 + 2 * (80 + 30) - 4) << "frame and caption";

    // Switched off while the window exists: the designed pixels again.
    on = false;
    ::SendMessageW(form.handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_EQ(form.paintToPicture().pixels(), normal.pixels());
    setHighContrastSource({});
}

TEST(PageControl, OnlyTheActivePageIsShown)
{
    TForm form(nullptr);
    auto* pages = new TPageControl(&form);
    pages->setParent(&form);
    pages->setBounds(0, 0, 100, 50);
    auto* one = new TTabSheet(&form);
    one->setParent(pages);
    auto* two = new TTabSheet(&form);
    two->setParent(pages);
    EXPECT_EQ(pages->activePage(), one);
    EXPECT_TRUE(one->visible());
    EXPECT_FALSE(two->visible());
    EXPECT_EQ(two->width(), 100);
    auto* label = new TLabel(&form);
    label->setAutoSize(false);
    label->setParent(two);
    label->setBounds(5, 5, 20, 20);
    EXPECT_EQ(form.controlAt({10, 10}, true), one);
    pages->setActivePage(two);
    EXPECT_FALSE(one->visible());
    EXPECT_EQ(form.controlAt({10, 10}, true), label);
}

TEST(PageControl, ChildWindowsAreMadeWhenFirstShownInsideTheForm)
{
    TForm form(nullptr);
    form.setBounds(0, 0, 200, 100);
    auto* pages = new TPageControl(&form);
    pages->setParent(&form);
    pages->setBounds(0, 0, 200, 200);
    auto* one = new TTabSheet(&form);
    one->setParent(pages);
    auto* two = new TTabSheet(&form);
    two->setParent(pages);
    auto* folded = new TEdit(&form);
    folded->setParent(one);
    folded->setBounds(5, 150, 100, 21);
    folded->setText(L"C:\\Folder");
    auto* hidden = new TProgressBar(&form);
    hidden->setParent(two);
    ASSERT_TRUE(form.handle());
    EXPECT_FALSE(folded->handle());
    EXPECT_FALSE(hidden->handle());
    EXPECT_EQ(folded->text(), L"C:\\Folder");

    form.setClientHeight(200);
    const auto shown = [](const TWinControl* c) { return (::GetWindowLongPtrW(c->handle(), GWL_STYLE) & WS_VISIBLE) != 0; };
    ASSERT_TRUE(folded->handle());
    EXPECT_TRUE(shown(folded));
    EXPECT_EQ(folded->text(), L"C:\\Folder");
    EXPECT_FALSE(hidden->handle());
    pages->setActivePage(two);
    ASSERT_TRUE(hidden->handle());
    EXPECT_FALSE(shown(folded));
}

TEST(Pictures, PngResourcesDecodeAndFailuresLeaveThePicture)
{
    TPicture picture;
    ASSERT_TRUE(LoadPngResource(picture, L"MSGBOX", L"FILE"));
    EXPECT_EQ(picture.width(), 410);
    EXPECT_EQ(picture.height(), 192);
    EXPECT_EQ(rgbAt(picture, 200, 10), 0x0093FEu);
    EXPECT_EQ(rgbAt(picture, 0, 100), 0xD6D6D6u);

    EXPECT_FALSE(LoadPngResource(picture, L"nosuch", L"file"));
    EXPECT_EQ(picture.width(), 410) << "a missing picture keeps what was there";

    // A truncated PNG is refused, never half decoded.
    const auto bytes = ownResourceBytes(L"msgbox", L"file");
    EXPECT_FALSE(decodePng(bytes.first(bytes.size() / 2), picture));
    EXPECT_FALSE(decodePng(bytes.first(8), picture));
    EXPECT_EQ(picture.height(), 192);

    // Translucent pixels are stored premultiplied: 30 % of #9EA6AA.
    TPicture line;
    ASSERT_TRUE(LoadPngResource(line, L"border_line", L"file"));
    const std::uint32_t p = line.pixels()[0];
    const std::uint32_t alpha = p >> 24;
    EXPECT_NEAR(alpha, 77, 1);
    EXPECT_NEAR((p >> 16) & 0xFF, 0x9E * alpha / 255, 1);
    EXPECT_TRUE(line.transparent());
    EXPECT_FALSE(picture.transparent());
}

TEST(Pictures, LargerArtworkIsDrawnAboveOneTimesOnly)
{
    const auto filled = [](int w, int h, std::uint32_t argb) {
        TPicture p;
        p.setPixels(w, h, std::vector<std::uint32_t>(static_cast<size_t>(w) * h, argb));
        return p;
    };
    TPicture red = filled(10, 10, 0xFFFF0000u);
    red.setLarge(filled(30, 30, 0xFF0000FFu));
    EXPECT_FALSE(red.hasLarge()) << "not twice the size";
    red.setLarge(filled(20, 20, 0xFF0000FFu));
    TForm form(nullptr);
    form.setBounds(0, 0, 20, 20);
    auto* image = new TImage(&form);
    image->setParent(&form);
    image->setBounds(0, 0, 10, 10);
    image->setPicture(red);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 5, 5), 0xFF0000u);
    for (const int dpi : {144, 192}) {
        form.scaleTo(dpi);
        EXPECT_EQ(rgbAt(form.paintToPicture(), 7, 7), 0x0000FFu) << dpi;
    }
    form.scaleTo(96);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 5, 5), 0xFF0000u);

    // Artwork from the program's resources is decoded only once it is drawn enlarged.
    int decoded = 0;
    TPicture lazy = filled(10, 10, 0xFFFF0000u);
    lazy.setLargeSource([&](TPicture& large) {
        ++decoded;
        large = filled(20, 20, 0xFF0000FFu);
        return true;
    });
    image->setPicture(lazy);
    EXPECT_EQ(rgbAt(form.paintToPicture(), 5, 5), 0xFF0000u);
    EXPECT_EQ(decoded, 0);
    for (const int dpi : {144, 192}) {
        form.scaleTo(dpi);
        EXPECT_EQ(rgbAt(form.paintToPicture(), 7, 7), 0x0000FFu) << dpi;
    }
    EXPECT_EQ(decoded, 1);
}

TEST(Pictures, PixelsAreDecodedOnceAndOnlyWhenFirstDrawn)
{
    int decoded = 0;
    TPicture lazy;
    lazy.setSource(10, 10, [&](TPicture& picture) {
        ++decoded;
        picture.setPixels(10, 10, std::vector<std::uint32_t>(100, 0xFF00FF00u));
        return true;
    });
    const TPicture copy = lazy;
    TForm form(nullptr);
    form.setBounds(0, 0, 20, 20);
    auto* image = new TImage(&form);
    image->setParent(&form);
    image->setBounds(0, 0, 10, 10);
    image->setPicture(copy);
    EXPECT_EQ(image->width(), 10);
    EXPECT_EQ(decoded, 0) << "the size is known without the pixels";
    EXPECT_EQ(rgbAt(form.paintToPicture(), 5, 5), 0x00FF00u);
    EXPECT_EQ(rgbAt(lazy, 5, 5), 0x00FF00u);
    EXPECT_EQ(decoded, 1) << "copies share one decoding";

    // Pixels that do not come at the announced size leave the picture
    // transparent, never smaller or half filled.
    TPicture broken;
    broken.setSource(10, 10, [](TPicture& picture) {
        picture.setPixels(5, 5, std::vector<std::uint32_t>(25, 0xFF0000FFu));
        return true;
    });
    EXPECT_EQ(broken.pixels(), std::vector<std::uint32_t>(100, 0));

    // A resource that is no PNG is refused before any decoding.
    TPicture kept = copy;
    EXPECT_FALSE(LoadPngResource(kept, L"FrmCommInst", L"DESIGN"));
    EXPECT_EQ(rgbAt(kept, 5, 5), 0x00FF00u);
}

TEST(Pictures, SavedPngReadsBackTheSame)
{
    TPicture icon;
    ASSERT_TRUE(LoadPngResource(icon, L"icon_warn", L"file"));
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"ui_tests_icon.png";
    ASSERT_TRUE(savePngFile(icon, path));
    TPicture back;
    ASSERT_TRUE(loadPngFile(back, path));
    ::DeleteFileW(path.c_str());
    ASSERT_EQ(back.width(), 40);
    for (size_t i = 0; i < icon.pixels().size(); ++i) {
        const auto a = icon.pixels()[i], b = back.pixels()[i];
        ASSERT_EQ(a >> 24, b >> 24);
        ASSERT_NEAR(a & 0xFF, b & 0xFF, 2);
    }
}

TEST(Application, KeepsFormsAndGivesTheSystemBoxesItsTitle)
{
    Application.setTitle(L"App title");
    {
        TForm form(nullptr);
        form.setName(L"FrmMain");
        EXPECT_EQ(Application.findForm(L"frmmain"), &form);
        Application.setMainForm(&form);
        DialogAnswerer answerer(L"App title");
        showInfo(L"a notice");
        EXPECT_EQ(answerer.texts(), std::vector<std::wstring>{L"a notice"});
    }
    EXPECT_EQ(Application.mainForm(), nullptr);
    EXPECT_EQ(Application.findForm(L"FrmMain"), nullptr);
}

TEST(Timer, TicksInsideTheMessageLoopUntilDisabled)
{
    TForm form(nullptr);
    auto* timer = new TTimer(&form);
    int ticks = 0;
    timer->setInterval(10);
    timer->OnTimer = [&](TComponent*) {
        if (++ticks == 3)
            timer->setEnabled(false);
    };
    const DWORD start = ::GetTickCount();
    while (timer->enabled() && ::GetTickCount() - start < 5000) {
        Application.processMessages();
        ::Sleep(5);
    }
    EXPECT_EQ(ticks, 3);
}
