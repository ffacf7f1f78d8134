#include "offer/UntBigCoupon.h"

#include "offer/OfferRules.h"

#include "ui/PngImage.h"
#include "ui/SystemBoxes.h"
#include "ui/UntConfirmbox.h"

#include "system/PrivateTempDir.h"
#include "system/Removal.h"
#include "system/util.h"

#include "BuildConstants.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace {

constexpr wchar_t kRequestFailed[] = L"请求失败.";
constexpr wchar_t kCouponFailed[] = L"获取优惠信息失败";
constexpr wchar_t kPlanFailed[] = L"获取价格信息失败";
constexpr wchar_t kPriceWrong[] = L"价格异常！";
constexpr wchar_t kOriginalPrice[] = L"原价:%s";
constexpr wchar_t kCouponCount[] = L"%d 张";
constexpr wchar_t kCampaignTime[] = L"活动时间：%s-%s";
constexpr wchar_t kTwoDigits[] = L"%.2d";
constexpr wchar_t kGiveUpOffer[] = L"确定要放弃 一年一次的限时大优惠吗？";
constexpr wchar_t kGiveUpFreeMember[] = L"确定要放弃 免费领取会员活动，并立即卸载吗？";
constexpr wchar_t kKeepProduct[] = L"确定要取消卸载，并重新启动软件吗？";
constexpr wchar_t kQrFile[] = L"qr.png";
constexpr wchar_t kFreeMemberPath[] = L"/docs/freemember";
constexpr wchar_t kHttpScheme[] = L"http://";
constexpr wchar_t kHttpsScheme[] = L"https://";
// Title of the embedded browser's script-error dialog.
constexpr wchar_t kScriptErrorTitle[] = L"脚本错误";

// PATTERN with its "%s" and "%d" markers replaced by VALUES, in order.
std::wstring fillIn(std::wstring_view pattern, std::initializer_list<std::wstring> values)
{
    std::wstring text;
    size_t at = 0;
    for (const auto& value : values) {
        const size_t mark = pattern.find(L'%', at);
        if (mark == std::wstring_view::npos || mark + 1 >= pattern.size())
            break;
        text.append(pattern.substr(at, mark - at)).append(value);
        at = mark + 2;
    }
    return text.append(pattern.substr(at));
}

// The payment code is a picture on the web: a link to a local file or a
// network share (which would be handed the user's credentials) is not
// followed, whatever the service's answer names.
bool isWebLink(const std::wstring& url)
{
    return startsWithText(url, kHttpScheme) || startsWithText(url, kHttpsScheme);
}

std::wstring twoDigits(int value)
{
    wchar_t text[16] = {};
    std::swprintf(text, 16, kTwoDigits, value);
    return text;
}


} // namespace

const FormDesign& TfrmBigCoupon::design()
{
    static const FormDesign d{L"FrmBigCoupon",
                              {handler(L"FormCreate", &TfrmBigCoupon::FormCreate),
                               handler(L"tmrCountdownTimer", &TfrmBigCoupon::tmrCountdownTimer),
                               handler(L"lblContinueClick", &TfrmBigCoupon::lblContinueClick),
                               handler(L"lblBackClick", &TfrmBigCoupon::lblBackClick),
                               handler(L"lblContactServiceClick", &TfrmBigCoupon::lblContactServiceClick),
                               handler(L"btnFinishInstallAppClick", &TfrmBigCoupon::btnFinishInstallAppClick),
                               handler(L"imgbtnCloseClick", &TfrmBigCoupon::imgbtnCloseClick),
                               handler(L"tmrScriptErrorTimer", &TfrmBigCoupon::tmrScriptErrorTimer)}};
    return d;
}

TfrmBigCoupon::TfrmBigCoupon(TAPI& API, std::function<void()> StartMainProgram)
    : TCommLangForm(nullptr, design(), true, true),
      pnlTop(designComponent<TPanel>(*this, L"pnlTop")),
      imgbtnClose(designComponent<TImgBtn>(*this, L"imgbtnClose")),
      pgMain(designComponent<TPageControl>(*this, L"pgMain")),
      tbCoupon(designComponent<TTabSheet>(*this, L"tbCoupon")),
      tbFreeGet(designComponent<TTabSheet>(*this, L"tbFreeGet")),
      lblDiscountVal(designComponent<TLabel>(*this, L"lblDiscountVal")),
      lblSoftName(designComponent<TLabel>(*this, L"lblSoftName")),
      imgQR(designComponent<TImage>(*this, L"imgQR")),
      lblCurrency(designComponent<TLabel>(*this, L"lblCurrency")),
      lblPrice(designComponent<TLabel>(*this, L"lblPrice")),
      lblOriginal(designComponent<TLabel>(*this, L"lblOriginal")),
      pnlDays(designComponent<TPanel>(*this, L"pnlDays")),
      pnlHour(designComponent<TPanel>(*this, L"pnlHour")),
      pnlMinute(designComponent<TPanel>(*this, L"pnlMinute")),
      pnlSec(designComponent<TPanel>(*this, L"pnlSec")),
      lblRemainCaption(designComponent<TLabel>(*this, L"lblRemainCaption")),
      lblRemain(designComponent<TLabel>(*this, L"lblRemain")),
      lblTotalCaption(designComponent<TLabel>(*this, L"lblTotalCaption")),
      lblTotal(designComponent<TLabel>(*this, L"lblTotal")),
      lblExpiration(designComponent<TLabel>(*this, L"lblExpiration")),
      lblContactService(designComponent<TLinkLabel>(*this, L"lblContactService")),
      lblContinue(designComponent<TLinkLabel>(*this, L"lblContinue")),
      wbFreeMembere(designComponent<TWebBrowser>(*this, L"wbFreeMembere")),
      lblContactService2(designComponent<TLinkLabel>(*this, L"lblContactService2")),
      lblBack(designComponent<TLinkLabel>(*this, L"lblBack")),
      btnFinishInstallApp(designComponent<TTextImageButton>(*this, L"btnFinishInstallApp")),
      lblContinue2(designComponent<TLinkLabel>(*this, L"lblContinue2")),
      tmrCountdown(designComponent<TTimer>(*this, L"tmrCountdown")),
      tmrScriptError(designComponent<TTimer>(*this, L"tmrScriptError")),
      FApi(API),
      FStartMainProgram(std::move(StartMainProgram))
{
    // Plain HTTP in an elevated process: the browser stays on the
    // documentation site's origin, anything else opens in the user's browser.
    wbFreeMembere->setAllowedPages({freeMemberUrl()});
}

std::wstring TfrmBigCoupon::freeMemberUrl() { return std::wstring(L"http://") + build::kDocsHost + kFreeMemberPath; }

void TfrmBigCoupon::FormCreate(TComponent*)
{
    FContinueUninstall = false;
    pgMain->setActivePage(tbCoupon);
    for (TTabSheet* page : {tbCoupon, tbFreeGet}) {
        page->setCaption(L"");
        page->setTabVisible(false);
    }

    std::wstring couponCode;
    const int32_t couponValue = fetchCoupon(couponCode);
    const TPricePlan plan = fetchPlan(couponValue);
    loadPaymentCode(FApi.getPayQRUrl_NotLogin(plan.id, couponCode));
    alignTexts();

    tmrCountdownTimer(this);
    tmrCountdown->setEnabled(true);
    lblSoftName->setCaption(plan.plan_name);
}

int32_t TfrmBigCoupon::fetchCoupon(std::wstring& couponCode)
{
    int32_t value = 0;
    std::wstring failedRequest;
    if (FApi.getUninstallCoupon(couponCode, value, failedRequest)) {
        lblDiscountVal->setCaption(std::to_wstring(value));
        return value;
    }
    // The user ended the program while the service was asked: no box.
    if (Application.terminated())
        return 0;
    if (!failedRequest.empty())
        showInfo(failedRequest + kRequestFailed);
    showPlainMessage(kCouponFailed);
    // A refused coupon takes nothing off, whatever value came with it: a
    // negative one must not raise the price.
    return 0;
}

TPricePlan TfrmBigCoupon::fetchPlan(int32_t couponValue)
{
    TPricePlan plan{};
    if (!FApi.getPricePlanFromlist(plan)) {
        if (!Application.terminated())
            showPlainMessage(kPlanFailed);
        return TPricePlan{};
    }
    lblOriginal->setCaption(fillIn(kOriginalPrice, {formatNumber(plan.price)}));
    const double toPay = plan.price - couponValue;
    if (toPay > 0)
        lblPrice->setCaption(formatNumber(toPay));
    else
        showPlainMessage(kPriceWrong);
    return plan;
}

void TfrmBigCoupon::alignTexts()
{
    lblCurrency->setLeft(lblPrice->left() - lblCurrency->width());
    lblCurrency->alignBaselineWith(*lblPrice);
    lblRemain->alignBaselineWith(*lblRemainCaption);
    lblTotal->alignBaselineWith(*lblTotalCaption);
}

void TfrmBigCoupon::loadPaymentCode(const std::wstring& url)
{
    if (!isWebLink(url))
        return;
    // Where no unelevated program can put its own picture in its place.
    const std::wstring file = privateTempPath(kQrFile);
    if (file.empty())
        return;
    deleteFileForce(file);
    // Only a picture fetched now is shown, not the code of an earlier order
    // that could not be deleted. Anything that is no PNG picture keeps the
    // placeholder.
    if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    if (!downloadUrlToFile(url, file))
        return;
    TPicture code;
    if (loadPngFile(code, file))
        imgQR->setPicture(code);
}

void TfrmBigCoupon::tmrCountdownTimer(TComponent*)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const Countdown left = countdownToMidnight(now);
    pnlHour->setCaption(twoDigits(left.hours));
    pnlMinute->setCaption(twoDigits(left.minutes));
    pnlSec->setCaption(twoDigits(left.seconds));

    const CouponCounters shown = tickCounters(couponCounters(), randomBelow);
    lblRemain->setCaption(fillIn(kCouponCount, {std::to_wstring(shown.remaining)}));
    lblTotal->setCaption(fillIn(kCouponCount, {std::to_wstring(shown.claimed)}));

    std::wstring first, last;
    campaignDates(now, first, last);
    lblExpiration->setCaption(fillIn(kCampaignTime, {first, last}));
}

void TfrmBigCoupon::lblContinueClick(TComponent*)
{
    if (pgMain->activePage() == tbCoupon) {
        if (!ShowConfirmBox(kGiveUpOffer))
            return;
        wbFreeMembere->Navigate(freeMemberUrl());
        pgMain->setActivePage(tbFreeGet);
        imgbtnClose->setVisible(true);
        tmrScriptError->setEnabled(true);
        return;
    }
    if (ShowConfirmBox(kGiveUpFreeMember)) {
        FContinueUninstall = true;
        Close();
    }
}

void TfrmBigCoupon::lblBackClick(TComponent*) { pgMain->setActivePage(tbCoupon); }

void TfrmBigCoupon::lblContactServiceClick(TComponent*) { FApi.openCustomerService(); }

void TfrmBigCoupon::btnFinishInstallAppClick(TComponent*)
{
    if (!ShowConfirmBox(kKeepProduct))
        return;
    if (FStartMainProgram)
        FStartMainProgram();
    Application.terminate();
}

void TfrmBigCoupon::imgbtnCloseClick(TComponent*) { Close(); }

void TfrmBigCoupon::tmrScriptErrorTimer(TComponent*)
{
    if (HWND dialog = ::FindWindowW(nullptr, kScriptErrorTitle))
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
}
