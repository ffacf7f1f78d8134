#include "UiTest.h"

#include "ui/ImgBtn.h"
#include "ui/TextImageButton.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace uitest;

namespace {

TPicture solid(int w, int h, std::uint32_t rgb)
{
    TPicture p;
    p.setPixels(w, h, std::vector<std::uint32_t>(static_cast<size_t>(w) * h, 0xFF000000u | rgb));
    return p;
}

constexpr std::uint32_t kNormal = 0x112233, kOver = 0x445566, kDown = 0x778899, kDisabled = 0xAABBCC;
constexpr std::uint32_t kBack = 0xFFFFFF;

struct ButtonForm {
    TForm form{nullptr};
    TTextImageButton* button = new TTextImageButton(&form);
    std::vector<std::wstring> log;

    ButtonForm()
    {
        form.setBounds(0, 0, 300, 100);
        form.setColor(clWhite);
        button->setParent(&form);
        button->setAutoSize(true);
        button->setBounds(10, 10, 0, 0);
        button->setBitmap(solid(100, 30, kNormal));
        button->setBitmapOver(solid(165, 45, kOver));
        button->setBitmapDown(solid(100, 30, kDown));
        button->OnMouseEnter = [this](TComponent*) { log.push_back(L"enter"); };
        button->OnMouseLeave = [this](TComponent*) { log.push_back(L"leave"); };
        button->OnMouseDown = [this](TComponent*, TMouseButton, TShiftState, int, int) { log.push_back(L"down"); };
        button->OnMouseUp = [this](TComponent*, TMouseButton, TShiftState, int, int) { log.push_back(L"up"); };
        button->OnClick = [this](TComponent*) { log.push_back(L"click"); };
        form.handle();
    }
    std::uint32_t shown() const { return button->actualBitmap().pixels().at(0) & 0xFFFFFF; }
    std::uint32_t painted(int x, int y) { return rgbAt(form.paintToPicture(), x, y); }
};

using Log = std::vector<std::wstring>;

} // namespace

TEST(CalcImageRect, ProportionalShrinksCentredOtherwiseClippedOrStretched)
{
    ButtonForm f;
    auto& b = *f.button;
    moveTo(f.form, 20, 20);
    ASSERT_EQ(f.shown(), kOver);
    EXPECT_EQ(b.width(), 100) << "AutoSize keeps the normal picture's size";
    const RECT clipped = b.CalcImageRect();
    EXPECT_EQ(clipped.left, -32);
    EXPECT_EQ(clipped.top, -7);
    EXPECT_EQ(clipped.right - clipped.left, 165);

    b.setProportional(true);
    const RECT shrunk = b.CalcImageRect();
    EXPECT_EQ(shrunk.left, 0);
    EXPECT_EQ(shrunk.top, 1);
    EXPECT_EQ(shrunk.right, 100);
    EXPECT_EQ(shrunk.bottom, 28);

    b.setProportional(false);
    b.setStretch(true);
    const RECT stretched = b.CalcImageRect();
    EXPECT_EQ(stretched.right - stretched.left, 100);
    EXPECT_EQ(stretched.bottom - stretched.top, 30);
}

TEST(CalcImageRect, TallPictureFitsByHeight)
{
    ButtonForm f;
    f.button->setProportional(true);
    f.button->setBitmapOver(solid(40, 90, kOver));
    moveTo(f.form, 20, 20);
    const RECT r = f.button->CalcImageRect();
    EXPECT_EQ(r.bottom - r.top, 30);
    EXPECT_EQ(r.right - r.left, 13);
    EXPECT_EQ(r.left, 43);
}

TEST(TextImageButton, CaptionStartsAfterTheSmallIcon)
{
    ButtonForm f;
    TDibSurface surface(10, 10);
    f.button->setCaption(L"OK");
    const RECT centred = f.button->captionRect(surface.dc());
    EXPECT_GT(centred.left, 32);
    f.button->setSmallIcon(solid(16, 16, 0xFF0000));
    const RECT pushed = f.button->captionRect(surface.dc());
    EXPECT_EQ(pushed.left, centred.left) << "a short caption is already right of the icon";
    f.button->setCaption(L"A much longer caption");
    EXPECT_EQ(f.button->captionRect(surface.dc()).left, 32);
    // The icon sits at x = 10, vertically centred plus one.
    EXPECT_EQ(f.painted(10 + 10, 10 + 8), 0xFF0000u);
    EXPECT_EQ(f.painted(10 + 9, 10 + 8), kNormal);
}

TEST(TextImageButton, StatesFollowRealMouseMessagesNotificationFirst)
{
    ButtonForm f;
    f.button->OnMouseEnter = [&](TComponent*) {
        f.log.push_back(f.shown() == kNormal ? L"enter before picture" : L"enter after picture");
    };
    moveTo(f.form, 20, 20);
    EXPECT_EQ(f.shown(), kOver);
    press(f.form, 20, 20);
    EXPECT_EQ(f.shown(), kDown);
    EXPECT_EQ(f.painted(12, 12), kDown);
    release(f.form, 20, 20);
    EXPECT_EQ(f.shown(), kOver);
    moveTo(f.form, 250, 80);
    EXPECT_EQ(f.shown(), kNormal);
    EXPECT_EQ(f.log, (Log{L"enter before picture", L"down", L"click", L"up", L"leave"}));

    // Right button: only the platform's handling, no event, no picture.
    f.log.clear();
    moveTo(f.form, 20, 20);
    f.log.clear();
    mouse(f.form, WM_RBUTTONDOWN, 20, 20, MK_RBUTTON);
    mouse(f.form, WM_RBUTTONUP, 20, 20);
    EXPECT_EQ(f.shown(), kOver);
    EXPECT_TRUE(f.log.empty());
}

TEST(TextImageButton, OnlyNormalPictureStaysButEventsFire)
{
    ButtonForm f;
    f.button->setBitmapOver(TPicture());
    f.button->setBitmapDown(TPicture());
    clickAt(f.form, 20, 20);
    moveTo(f.form, 250, 80);
    EXPECT_EQ(f.shown(), kNormal);
    EXPECT_EQ(f.log, (Log{L"enter", L"down", L"click", L"up", L"leave"}));
}

TEST(TextImageButton, DisabledIgnoresPointerAndDrawsItsPictureOrBlackCaption)
{
    ButtonForm f;
    f.button->setCaption(L"Go");
    f.button->font().setColor(clWhite);
    f.button->setEnabled(false);
    clickAt(f.form, 20, 20);
    moveTo(f.form, 250, 80);
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.shown(), kNormal);
    // The white caption is drawn black: all ink on the picture is darker.
    const TPicture shot = f.form.paintToPicture();
    int darker = 0, lighter = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 110; ++x)
            if (const std::uint32_t p = rgbAt(shot, x, y); p != kNormal)
                ++(((p >> 16) & 0xFF) < 0x11 && ((p >> 8) & 0xFF) < 0x22 && (p & 0xFF) < 0x33 ? darker : lighter);
    EXPECT_GT(darker, 10);
    EXPECT_EQ(lighter, 0);

    // With a disabled picture: AutoSize keeps the normal size, the picture
    // is drawn from the top-left corner at its own size.
    f.button->setBitmapDisabled(solid(60, 20, kDisabled));
    EXPECT_EQ(f.painted(10 + 59, 10 + 19), kDisabled);
    EXPECT_EQ(f.painted(10 + 90, 10 + 25), kBack);
    EXPECT_EQ(f.button->width(), 100);
    f.button->setAutoSize(false);
    f.form.paintToPicture();
    EXPECT_EQ(f.button->width(), 60) << "without AutoSize it takes the disabled picture's size";
    EXPECT_EQ(f.button->height(), 20);
}

TEST(TextImageButton, TransparentCornersShowWhatIsBeneathFromTheFirstPaint)
{
    ButtonForm f;
    f.button->setCaption(L"Go");
    TPicture rounded = solid(100, 30, kNormal);
    std::vector<std::uint32_t> pixels = rounded.pixels();
    pixels[0] = 0; // clear
    rounded.setPixels(100, 30, std::move(pixels));
    f.button->setBitmap(rounded);
    EXPECT_EQ(f.painted(10, 10), kBack);
    EXPECT_EQ(f.painted(11, 10), kNormal);
}

TEST(TextImageButton, WideCaptionIsCentredAndCutAtTheEdges)
{
    ButtonForm f;
    f.button->setCaption(std::wstring(40, L'W'));
    f.button->font().setColor(0x0000FF);
    const TPicture picture = f.form.paintToPicture();
    EXPECT_EQ(rgbAt(picture, 5, 25), kBack) << "nothing drawn left of the button";
    EXPECT_EQ(rgbAt(picture, 115, 25), kBack) << "nothing drawn right of the button";
}

TEST(ImgBtn, StatesSupportedDisabledAndFlashing)
{
    TForm form(nullptr);
    form.setBounds(0, 0, 200, 100);
    auto* b = new TImgBtn(&form);
    b->setParent(&form);
    b->setAutoSize(true);
    b->setBounds(10, 10, 0, 0);
    b->setPic(solid(34, 34, kNormal));
    b->setPicUp(solid(34, 34, kOver));
    b->setPicDown(solid(34, 34, kDown));
    std::vector<std::wstring> log;
    b->OnMouseDown = [&](TComponent*, TMessage& m) { log.push_back(L"down " + std::to_wstring(m.Msg)); };
    b->OnClick = [&](TComponent*) { log.push_back(L"click"); };
    b->OnMouseUp = [&](TComponent*, TMessage&) { log.push_back(L"up"); };
    form.handle();
    auto shown = [&] { return b->picture().pixels().at(0) & 0xFFFFFF; };

    EXPECT_EQ(b->width(), 34);
    moveTo(form, 20, 20);
    EXPECT_EQ(shown(), kOver);
    press(form, 20, 20);
    EXPECT_EQ(shown(), kDown);
    moveTo(form, 150, 80);
    EXPECT_EQ(shown(), kNormal);
    moveTo(form, 20, 20);
    EXPECT_EQ(shown(), kDown) << "entered again while still down";
    release(form, 20, 20);
    EXPECT_EQ(shown(), kOver);
    EXPECT_EQ(log, (std::vector<std::wstring>{L"down 513", L"click", L"up"}));

    // Flashing alternates hover and pressed pictures and pauses while down.
    b->setFlashed(true);
    const DWORD start = ::GetTickCount();
    while (b->flashTimes() < 2 && ::GetTickCount() - start < 5000) {
        Application.processMessages();
        ::Sleep(20);
    }
    b->setFlashed(false);
    EXPECT_EQ(b->flashTimes(), 2);
    EXPECT_EQ(shown(), kDown);

    log.clear();
    b->setSupported(false);
    moveTo(form, 150, 80);
    clickAt(form, 20, 20);
    EXPECT_EQ(shown(), kDown) << "unsupported: the picture stays";
    EXPECT_EQ(log, (std::vector<std::wstring>{L"click"}));

    b->setSupported(true);
    b->setEnabled(false);
    EXPECT_EQ(shown(), kNormal) << "no disabled picture: the normal one";
    b->setPicDisabled(solid(34, 34, kDisabled));
    b->setEnabled(true);
    b->setEnabled(false);
    EXPECT_EQ(shown(), kDisabled);
    EXPECT_FALSE(b->down());
    EXPECT_FALSE(b->entered());
}
