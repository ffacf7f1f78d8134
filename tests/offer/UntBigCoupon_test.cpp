#include "offer/UntBigCoupon.h"

#include "offer/OfferRules.h"
#include "tests/support/DialogAnswerer.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/ui/ModalScript.h"

#include "ui/PngImage.h"
#include "ui/UntConfirmbox.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/PrivateTempDir.h"
#include "system/Registry.h"
#include "system/util.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <deque>
#include <string>
#include <vector>

namespace {

using uitest::ModalScript;
using uitest::postClick;

constexpr char kCoupon[] = "/api/coupon-detail";
constexpr char kPricePlan[] = "/api/price_plan";
constexpr char kPayQr[] = "/api/notlogin-pay-qr";
constexpr char kQrPicture[] = "/files/qr.png";
constexpr wchar_t kTitle[] = L"Offer window test";
constexpr char kPlans[] = R"({"code":0,"data":[
    {"plan_name":"月度会员","id":101,"price":"19.9","validity_type":1,"device_limit":1},
    {"plan_name":"永久会员","id":103,"price":"99.9","validity_type":3,"device_limit":3},
    {"plan_name":"年度会员","id":102,"price":69.9,"validity_type":2,"device_limit":2}]})";
constexpr std::uint32_t kQrColour = 0xFF123456;
constexpr wchar_t kGiveUpOffer[] = L"确定要放弃 一年一次的限时大优惠吗？";
constexpr wchar_t kGiveUpFreeMember[] = L"确定要放弃 免费领取会员活动，并立即卸载吗？";
constexpr wchar_t kKeepProduct[] = L"确定要取消卸载，并重新启动软件吗？";
constexpr int kCouponsInAll = 85 + 55681;

std::string pngBytes(int width, int height, std::uint32_t argb)
{
    TPicture picture;
    picture.setPixels(width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height, argb));
    TempDir dir;
    savePngFile(picture, (dir / L"p.png").wstring());
    return readFile(dir / L"p.png");
}

TPicture placeholder()
{
    TPicture picture;
    LoadPngResource(picture, L"coupon_qr_placeholder", L"file");
    return picture;
}

std::wstring coupons(int count) { return std::to_wstring(count) + L" 张"; }

int secondsOf(const TfrmBigCoupon& form)
{
    return _wtoi(form.pnlHour->caption().c_str()) * 3600 + _wtoi(form.pnlMinute->caption().c_str()) * 60 +
           _wtoi(form.pnlSec->caption().c_str());
}

// The product's per-user key that the client writes, removed afterwards.
class ProductKey {
public:
    ProductKey() : softId_(L"offertest" + newCompactGuid()) {}
    ~ProductKey() { remove(); }
    void remove() const
    {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
            ::RegDeleteKeyExW(HKEY_CURRENT_USER, productUserKeyPath(softId_).c_str(), view, 0);
    }
    const std::wstring& softId() const { return softId_; }

private:
    std::wstring softId_;
};

TfrmBigCoupon& offer(TForm& f) { return static_cast<TfrmBigCoupon&>(f); }

// A URL protocol of the test's own whose pages are "opened" by the mark
// helper, which writes its command line to MARK; removed at the end.
class MarkingProtocol {
public:
    explicit MarkingProtocol(const std::filesystem::path& mark) : name_(L"offertest" + newCompactGuid().substr(0, 8))
    {
        // Lowercase, as a shell may write a scheme.
        for (wchar_t& c : name_)
            c = static_cast<wchar_t>(std::towlower(c));
        win::RegKey key;
        ::RegCreateKeyExW(HKEY_CLASSES_ROOT, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr);
        ::RegSetValueExW(key.get(), L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(L""));
        const std::wstring command = markHelperCommand(markHelperPath(), mark) + L" \"%1\"";
        ::RegSetKeyValueW(key.get(), L"shell\\open\\command", nullptr, REG_SZ, command.c_str(),
                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    MarkingProtocol(const MarkingProtocol&) = delete;
    MarkingProtocol& operator=(const MarkingProtocol&) = delete;
    ~MarkingProtocol() { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str()); }
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
};

// A plain top-level window with a title, destroyed at the end unless
// something closed it before.
struct TopLevelWindow {
    explicit TopLevelWindow(const wchar_t* title)
        : wnd(::CreateWindowExW(0, L"STATIC", title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr))
    {
    }
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;
    ~TopLevelWindow()
    {
        if (::IsWindow(wnd))
            ::DestroyWindow(wnd);
    }
    HWND wnd;
};

// One service for all tests: the system's downloader keeps its connections,
// and a server that waits for them to end makes every test slow.
class OfferWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new LoopbackServer; }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    OfferWindowTest()
    {
        Application.setTitle(kTitle);
        serveCoupon(1, 60);
        server_->onJson(kPricePlan, kPlans);
        serveQrLink(kQrPicture);
        server_->on(kQrPicture, [](const LoopbackRequest&) {
            return LoopbackReply{200, "image/png", pngBytes(33, 33, kQrColour), {}, 0};
        });
    }

    void serveCoupon(int status, int price)
    {
        server_->onJson(kCoupon, R"({"code":0,"data":{"status":)" + std::to_string(status) + R"(,"price":)" +
                                     std::to_string(price) + "}}");
    }
    // PATH on the test's server, or no link when empty.
    void serveQrLink(const std::string& path)
    {
        const std::string url = path.empty() ? "" : server_->origin() + path;
        server_->onJson(kPayQr, R"({"code":0,"data":{"url":")" + url + R"("}})");
    }
    void servePlan(const std::string& price)
    {
        server_->onJson(kPricePlan, R"({"code":0,"data":[{"plan_name":"P","id":7,"price":)" + price +
                                        R"(,"validity_type":1}]})");
    }
    // The payment-code requests of this test.
    std::vector<LoopbackRequest> qrRequests() const
    {
        const auto all = server_->requests();
        std::vector<LoopbackRequest> mine;
        for (size_t i = firstRequest_; i < all.size(); ++i)
            if (all[i].path == kPayQr)
                mine.push_back(all[i]);
        return mine;
    }

    FormPtr<TfrmBigCoupon> open()
    {
        return makeForm<TfrmBigCoupon>(api_, [this] { ++starts_; });
    }

    // Declines the offer, then presses the finish button twice, confirming
    // the second time; ends the process with 0 when the product was started
    // once and the program was asked to end with nothing to remove.
    [[noreturn]] void keepTheProduct()
    {
        const auto form = open();
        std::vector<std::wstring> asked;
        ModalScript script;
        script.on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).lblContinue); })
            .confirm()
            .on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).btnFinishInstallApp); })
            .confirm(false, &asked)
            .on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).btnFinishInstallApp); })
            .confirm(true, &asked);
        script.run([&] { return form->ShowModal(); });
        const bool ok = script.finished() && starts_ == 1 && Application.terminated() && !form->shouldUninstall() &&
                        asked == std::vector<std::wstring>{kKeepProduct, kKeepProduct};
        product_.remove(); // no destructor runs after _Exit
        std::_Exit(ok ? 0 : 1);
    }

    static inline LoopbackServer* server_ = nullptr;
    size_t firstRequest_ = server_->requests().size();
    ProductKey product_;
    TAPI api_{L"web", product_.softId(), server_->worigin(), server_->worigin()};
    DialogAnswerer dialogs_{kTitle};
    int starts_ = 0;
};

} // namespace

TEST_F(OfferWindowTest, FillsTheOfferFromTheService)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const ULONGLONG opening = ::GetTickCount64();
    const auto form = open();
    // The first tick counted from a clock read while the window opened.
    const int openingSeconds = static_cast<int>((::GetTickCount64() - opening + 999) / 1000);

    EXPECT_EQ(form->lblDiscountVal->caption(), L"60");
    EXPECT_EQ(form->lblOriginal->caption(), L"原价:99.9");
    EXPECT_EQ(form->lblPrice->caption(), L"39.9");
    EXPECT_EQ(form->lblSoftName->caption(), L"永久会员");
    ASSERT_EQ(form->imgQR->picture().width(), 33);
    EXPECT_EQ(form->imgQR->picture().pixels()[0], kQrColour);
    EXPECT_TRUE(dialogs_.texts().empty());

    // The payment code is asked for the offered plan with the coupon's code
    // (none here: the test product has no campaign).
    const auto qr = qrRequests();
    ASSERT_EQ(qr.size(), 1u);
    EXPECT_EQ(qr[0].query.rfind("goods_id=103&plan_type=0&coupon_code=&", 0), 0u) << qr[0].query;

    EXPECT_EQ(form->pgMain->activePage(), form->tbCoupon);
    EXPECT_TRUE(form->tbCoupon->caption().empty());
    EXPECT_FALSE(form->tbFreeGet->tabVisible());
    EXPECT_FALSE(form->imgbtnClose->visible());
    EXPECT_TRUE(form->tmrCountdown->enabled());
    EXPECT_FALSE(form->tmrScriptError->enabled());

    // The first tick has run: two-digit boxes counting down to midnight.
    EXPECT_EQ(form->pnlDays->caption(), L"0");
    for (const TPanel* box : {form->pnlHour, form->pnlMinute, form->pnlSec})
        EXPECT_EQ(box->caption().size(), 2u);
    const Countdown expected = countdownToMidnight(now);
    const int late = expected.hours * 3600 + expected.minutes * 60 + expected.seconds - secondsOf(*form);
    EXPECT_LE((late + 86400) % 86400, openingSeconds + 1) << late;
    std::wstring first, last;
    campaignDates(now, first, last);
    EXPECT_EQ(form->lblExpiration->caption(), L"活动时间：" + first + L"-" + last);

    // The look of the page: the blue top bar, the grey line on the left edge.
    const TPicture shot = form->paintToPicture();
    EXPECT_EQ(shot.pixels()[10 * 983 + 500] & 0xFFFFFF, 0x4D88F7u);
    EXPECT_EQ(shot.pixels()[400 * 983 + 0] & 0xFFFFFF, 0xDFDFDFu);
    // The currency sign stands right before the price, on its baseline.
    const RECT sign = uitest::inkBounds(shot, uitest::areaOf(*form->lblCurrency), 0xFFFFFF);
    const RECT price = uitest::inkBounds(shot, uitest::areaOf(*form->lblPrice), 0xFFFFFF);
    EXPECT_LE(std::abs(sign.bottom - price.bottom), 1);
    EXPECT_GE(price.left - sign.right, 1);
    EXPECT_LE(price.left - sign.right, 6);
}

TEST_F(OfferWindowTest, FailedRequestsLeaveTheDesignedTextsAndTheWindowOpens)
{
    server_->on(kCoupon, [](const LoopbackRequest&) { return LoopbackReply{404, "text/plain", "", {}, 0}; });
    server_->onJson(kPricePlan, R"({"code":2,"data":[]})");
    serveQrLink("");
    const auto form = open();

    const auto texts = dialogs_.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], server_->worigin() + L"/api/coupon-detail请求失败.");
    EXPECT_EQ(texts[1], L"获取优惠信息失败");
    EXPECT_EQ(texts[2], L"获取价格信息失败");
    EXPECT_EQ(form->lblDiscountVal->caption(), L"00");
    EXPECT_EQ(form->lblPrice->caption(), L"9.90");
    EXPECT_EQ(form->lblOriginal->caption(), L"原价:%s");
    EXPECT_EQ(form->lblSoftName->caption(), L"");
    EXPECT_EQ(form->imgQR->picture().pixels(), placeholder().pixels());
    const auto qr = qrRequests();
    ASSERT_EQ(qr.size(), 1u);
    EXPECT_EQ(qr[0].query.rfind("goods_id=0&", 0), 0u) << qr[0].query;
    EXPECT_TRUE(form->tmrCountdown->enabled());
}

TEST_F(OfferWindowTest, PriceIsNeverRaisedNorBelowTheCoupon)
{
    // A price not above the coupon is reported and the designed price stays.
    serveCoupon(1, 50);
    servePlan("50");
    {
        const auto form = open();
        EXPECT_EQ(dialogs_.texts(), std::vector<std::wstring>{L"价格异常！"});
        EXPECT_EQ(form->lblPrice->caption(), L"9.90");
        EXPECT_EQ(form->lblOriginal->caption(), L"原价:50");
    }
    // A refused coupon with a negative value takes nothing off and adds
    // nothing either.
    serveCoupon(1, -10);
    servePlan("\"99.9\"");
    const auto form = open();
    EXPECT_EQ(dialogs_.texts().back(), L"获取优惠信息失败");
    EXPECT_EQ(form->lblDiscountVal->caption(), L"00");
    EXPECT_EQ(form->lblPrice->caption(), L"99.9");
}

TEST_F(OfferWindowTest, OnlyAFreshPngReplacesThePlaceholder)
{
    // Not a picture.
    server_->on("/files/bad.png", [](const LoopbackRequest&) { return LoopbackReply{200, "image/png", "not a png", {}, 0}; });
    serveQrLink("/files/bad.png");
    EXPECT_EQ(open()->imgQR->picture().pixels(), placeholder().pixels());

    // Nothing there.
    serveQrLink("/files/missing.png");
    EXPECT_EQ(open()->imgQR->picture().pixels(), placeholder().pixels());

    // The code of an earlier order that cannot be replaced (the file is held
    // open without sharing) is not shown again.
    const std::wstring file = privateTempPath(L"qr.png");
    writeFile(file, pngBytes(12, 12, 0xFF00FF00));
    serveQrLink(kQrPicture);
    {
        const win::FileHandle held(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(open()->imgQR->picture().pixels(), placeholder().pixels());
    }
    EXPECT_EQ(open()->imgQR->picture().width(), 33);

    // The same link with a new picture behind it: the new one, not a copy
    // kept from before.
    server_->on(kQrPicture, [](const LoopbackRequest&) {
        return LoopbackReply{200, "image/png", pngBytes(20, 20, kQrColour), {}, 0};
    });
    EXPECT_EQ(open()->imgQR->picture().width(), 20);

    // A link that is no web address (a file of this machine, a network
    // share) is not followed.
    const TempDir local;
    writeFile(local / L"local.png", pngBytes(15, 15, kQrColour));
    server_->onJson(kPayQr, R"({"code":0,"data":{"url":"file:///)" + (local / L"local.png").generic_string() +
                                R"("}})");
    EXPECT_EQ(open()->imgQR->picture().pixels(), placeholder().pixels());
}

TEST_F(OfferWindowTest, CouponCountersCarryOnAcrossWindows)
{
    const CouponCounters before = couponCounters();
    auto first = open();
    // The first tick shows the counters as they were, then maybe moves one.
    EXPECT_EQ(first->lblRemain->caption(), coupons(before.remaining));
    EXPECT_EQ(first->lblTotal->caption(), coupons(before.claimed));
    for (int i = 0; i < 20; ++i)
        first->tmrCountdownTimer(first.get());
    first.reset();

    const CouponCounters carried = couponCounters();
    EXPECT_EQ(carried.ticks, before.ticks + 21);
    EXPECT_EQ(carried.remaining + carried.claimed, kCouponsInAll);
    const auto second = open();
    EXPECT_EQ(second->lblRemain->caption(), coupons(carried.remaining));
    EXPECT_EQ(second->lblTotal->caption(), coupons(carried.claimed));
}

TEST_F(OfferWindowTest, RemovalGoesOnOnlyAfterBothConfirmations)
{
    // A stand-in for the browser's script-error dialog.
    const TopLevelWindow scriptError(L"脚本错误");
    const HWND dialog = scriptError.wnd;
    const auto form = open();
    std::vector<std::wstring> asked;
    bool offerKept = false, secondPage = false, scriptErrorOpen = false;
    ModalScript script;
    script.on(L"TfrmBigCoupon", [&](TForm& f) { postClick(f, *offer(f).lblContinue); })
        .confirm(false, &asked)
        .on(L"TfrmBigCoupon",
            [&](TForm& f) {
                auto& o = offer(f);
                offerKept = o.pgMain->activePage() == o.tbCoupon && !o.imgbtnClose->visible() &&
                            !o.tmrScriptError->enabled();
                scriptErrorOpen = ::IsWindow(dialog);
                postClick(f, *o.lblContinue);
            })
        .confirm(true, &asked)
        .on(L"TfrmBigCoupon",
            [&](TForm& f) {
                auto& o = offer(f);
                secondPage = o.pgMain->activePage() == o.tbFreeGet && o.imgbtnClose->visible() &&
                             o.wbFreeMembere->url() == TfrmBigCoupon::freeMemberUrl();
            })
        // The script-error closer is on now: the dialog goes.
        .waitOn(L"TfrmBigCoupon", [&](TForm&) { return !::IsWindow(dialog); })
        .on(L"TfrmBigCoupon", [&](TForm& f) { postClick(f, *offer(f).lblContinue2); })
        .confirm(false, &asked)
        .on(L"TfrmBigCoupon", [&](TForm& f) { postClick(f, *offer(f).lblContinue2); })
        .confirm(true, &asked);

    script.run([&] { return form->ShowModal(); });
    ASSERT_TRUE(script.finished());
    EXPECT_TRUE(offerKept);
    EXPECT_TRUE(scriptErrorOpen) << "closed before the free-membership page was shown";
    EXPECT_TRUE(secondPage);
    EXPECT_EQ(asked, (std::vector<std::wstring>{kGiveUpOffer, kGiveUpOffer, kGiveUpFreeMember, kGiveUpFreeMember}));
    EXPECT_TRUE(form->shouldUninstall());
    EXPECT_EQ(starts_, 0);
}

TEST_F(OfferWindowTest, EveryOtherWayOutKeepsTheProduct)
{
    // Back, decline again (only the offer is asked), then the close button.
    {
        const auto form = open();
        std::vector<std::wstring> asked;
        bool backOnOffer = false, loadedAgain = false;
        ModalScript script;
        script.on(L"TfrmBigCoupon", [&](TForm& f) { postClick(f, *offer(f).lblContinue); })
            .confirm(true, &asked)
            .on(L"TfrmBigCoupon",
                [&](TForm& f) {
                    offer(f).wbFreeMembere->Navigate(L"about:blank");
                    postClick(f, *offer(f).lblBack);
                })
            .on(L"TfrmBigCoupon",
                [&](TForm& f) {
                    auto& o = offer(f);
                    backOnOffer = o.pgMain->activePage() == o.tbCoupon && o.imgbtnClose->visible() &&
                                  o.tmrScriptError->enabled();
                    postClick(f, *o.lblContinue);
                })
            .confirm(true, &asked)
            .on(L"TfrmBigCoupon",
                [&](TForm& f) {
                    loadedAgain = offer(f).wbFreeMembere->url() == TfrmBigCoupon::freeMemberUrl();
                    postClick(f, *offer(f).imgbtnClose);
                });
        EXPECT_EQ(script.run([&] { return form->ShowModal(); }), mrCancel);
        ASSERT_TRUE(script.finished());
        EXPECT_TRUE(backOnOffer);
        EXPECT_TRUE(loadedAgain);
        EXPECT_EQ(asked, (std::vector<std::wstring>{kGiveUpOffer, kGiveUpOffer}));
        EXPECT_FALSE(form->shouldUninstall());
    }
    // Esc on the offer page; a press where the hidden close button sits does
    // nothing before that.
    {
        const auto form = open();
        bool stillOpen = false;
        ModalScript script;
        script.on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).imgbtnClose); })
            .on(L"TfrmBigCoupon",
                [&](TForm& f) {
                    stillOpen = f.modalResult() == mrNone;
                    ::PostMessageW(f.handle(), WM_KEYDOWN, VK_ESCAPE, 0);
                });
        EXPECT_EQ(script.run([&] { return form->ShowModal(); }), mrCancel);
        ASSERT_TRUE(script.finished());
        EXPECT_TRUE(stillOpen);
        EXPECT_FALSE(form->shouldUninstall());
    }
    EXPECT_EQ(starts_, 0);
}

// Keeping the product ends the program, so it runs in a process of its own.
TEST_F(OfferWindowTest, FinishButtonRestartsTheProductAndEndsTheProgram)
{
    EXPECT_EXIT(keepTheProduct(), ::testing::ExitedWithCode(0), "");
}

TEST_F(OfferWindowTest, BothContactLinksOpenTheCustomerServicePage)
{
    const TempDir dir;
    const std::filesystem::path mark = dir / L"opened.mark";
    const MarkingProtocol protocol(mark);
    TAPI api(L"web", product_.softId(), server_->worigin(), protocol.name() + L"://service");
    const auto form = makeForm<TfrmBigCoupon>(api, [] {});
    const std::string page = win::toUtf8(protocol.name()) + "://service/t.php?act=chatwithus&name=" +
                             win::toUtf8(product_.softId());
    for (TLinkLabel* link : {form->lblContactService, form->lblContactService2}) {
        std::filesystem::remove(mark);
        link->OnClick(link);
        ASSERT_TRUE(waitForFile(mark)) << win::toUtf8(link->name());
        const std::string opened = readFile(mark);
        EXPECT_NE(opened.find(page), std::string::npos) << opened;
    }
}

TEST(BrowserFence, OnlyTheOriginsOfTheGivenPagesAreInside)
{
    const std::vector<std::wstring> pages = {L"http://docs.example.com/free/member.html"};
    for (const wchar_t* url : {L"http://docs.example.com/other?x=1", L"HTTP://Docs.Example.COM:80/", L"about:blank"})
        EXPECT_TRUE(isInsideBrowserFence(url, pages)) << url;
    for (const wchar_t* url :
         {L"https://docs.example.com/", L"http://docs.example.com:8080/", L"http://docs.example.com.evil.net/",
          L"http://docs.example.com@evil.net/", L"http://evil.net\\@docs.example.com/", L"file:///C:/Windows/win.ini",
          L"javascript:alert(1)", L"\\\\server\\share\\x.html", L"about:blank#x"})
        EXPECT_FALSE(isInsideBrowserFence(url, pages)) << url;
    EXPECT_FALSE(isInsideBrowserFence(L"http://docs.example.com/", {})) << "no pages, nothing but about:blank";
}

// Sends the browser's event sink event ID with ARGS (in the order the event
// declares them) and the Cancel flag at position CANCEL, as the control
// would; true when the sink cancelled.
bool eventCancels(TWebBrowser& browser, DISPID id, std::vector<VARIANT> args, size_t cancelAt)
{
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT flag;
    flag.vt = VT_BOOL | VT_BYREF;
    flag.pboolVal = &cancel;
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(cancelAt), flag);
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    EXPECT_EQ(browser.eventSink()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    return cancel != VARIANT_FALSE;
}

VARIANT bstrArgument(const std::wstring& text)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(text.c_str());
    return v;
}

TEST_F(OfferWindowTest, BrowserSendsEverythingElsewhereToTheUsersBrowser)
{
    const auto form = open();
    TWebBrowser& browser = *form->wbFreeMembere;
    // The control is put in place with the page's window.
    form->pgMain->setActivePage(form->tbFreeGet);
    form->paintToPicture();
    ASSERT_NE(browser.eventSink(), nullptr);
    std::vector<std::wstring> opened;
    browser.setPageOpener([&](const std::wstring& url) { opened.push_back(url); });
    const std::wstring elsewhere = server_->worigin() + L"/elsewhere.html";
    const std::wstring inside = TfrmBigCoupon::freeMemberUrl() + L"?page=2";

    // Wine here has no browser engine and its control never navigates nor
    // sends events: they are sent as the control would send them. Leaked
    // strings: a test's few bytes.
    VARIANT none{}, flags{}, url{}, isDocument{};
    flags.vt = VT_I4;
    const auto navigation = [&](const std::wstring& address) {
        VARIANT byRef{};
        url = bstrArgument(address);
        byRef.vt = VT_VARIANT | VT_BYREF;
        byRef.pvarVal = &url;
        // Sent for a frame: no whole-browser object to compare with here.
        return eventCancels(browser, DISPID_BEFORENAVIGATE2, {none, byRef, flags, none, none, none}, 6);
    };
    EXPECT_FALSE(navigation(inside));
    EXPECT_TRUE(navigation(elsewhere));
    EXPECT_TRUE(navigation(L"file:///C:/Windows/win.ini"));
    EXPECT_TRUE(opened.empty()) << "frames are not opened outside";
    for (const std::wstring& address : {elsewhere, inside, std::wstring(L"file:///C:/Windows/win.ini")})
        EXPECT_TRUE(eventCancels(browser, DISPID_NEWWINDOW3, {none, flags, bstrArgument(inside), bstrArgument(address)}, 1))
            << "no window opens inside";
    EXPECT_EQ(opened, (std::vector<std::wstring>{elsewhere, inside})) << "a file is not opened outside";
    isDocument.vt = VT_BOOL;
    isDocument.boolVal = VARIANT_FALSE;
    EXPECT_TRUE(eventCancels(browser, DISPID_FILEDOWNLOAD, {isDocument}, 1)) << "a download";
    isDocument.boolVal = VARIANT_TRUE;
    EXPECT_FALSE(eventCancels(browser, DISPID_FILEDOWNLOAD, {isDocument}, 1)) << "a page shown as a document";

    // The whole browser going elsewhere: the page opens in the user's browser.
    opened.clear();
    EXPECT_TRUE(browser.beforeNavigate(elsewhere, true));
    EXPECT_FALSE(browser.beforeNavigate(inside, true));
    EXPECT_EQ(opened, std::vector<std::wstring>{elsewhere});
}
