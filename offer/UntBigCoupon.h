// TfrmBigCoupon: the retention offer that stands in front of every uninstall.
// Its first page offers the vendor's price plan at a coupon discount with a
// payment code, a countdown to midnight and coupon counters; its second page
// shows the free-membership activity in the embedded browser. Only a removal
// the user confirmed on both pages lets the uninstall go on.
#pragma once

#include "net/api.h"
#include "ui/ImgBtn.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"
#include "ui/WebBrowser.h"

#include <functional>
#include <string>

class TfrmBigCoupon : public TCommLangForm {
public:
    // API: the process's vendor client, asked for the whole offer while the
    // window is created (makeForm). StartMainProgram: starts the installed
    // product, for a user who keeps it.
    TfrmBigCoupon(TAPI& API, std::function<void()> StartMainProgram);
    std::wstring_view className() const override { return L"TfrmBigCoupon"; }
    static const FormDesign& design();

    // After the window has closed: true only when the user confirmed the
    // removal on the free-membership page.
    bool shouldUninstall() const { return FContinueUninstall; }

    void FormCreate(TComponent* Sender);
    void tmrCountdownTimer(TComponent* Sender);
    void lblContinueClick(TComponent* Sender);
    void lblBackClick(TComponent* Sender);
    void lblContactServiceClick(TComponent* Sender);
    void btnFinishInstallAppClick(TComponent* Sender);
    void imgbtnCloseClick(TComponent* Sender);
    void tmrScriptErrorTimer(TComponent* Sender);

    // The free-membership page on the vendor's documentation site.
    static std::wstring freeMemberUrl();

    TPanel* pnlTop;
    TImgBtn* imgbtnClose;
    TPageControl* pgMain;
    TTabSheet* tbCoupon;
    TTabSheet* tbFreeGet;
    TLabel* lblDiscountVal;
    TLabel* lblSoftName;
    TImage* imgQR;
    TLabel* lblCurrency;
    TLabel* lblPrice;
    TLabel* lblOriginal;
    TPanel* pnlDays;
    TPanel* pnlHour;
    TPanel* pnlMinute;
    TPanel* pnlSec;
    TLabel* lblRemainCaption;
    TLabel* lblRemain;
    TLabel* lblTotalCaption;
    TLabel* lblTotal;
    TLabel* lblExpiration;
    TLinkLabel* lblContactService;
    TLinkLabel* lblContinue;
    TWebBrowser* wbFreeMembere;
    TLinkLabel* lblContactService2;
    TLinkLabel* lblBack;
    TTextImageButton* btnFinishInstallApp;
    TLinkLabel* lblContinue2;
    TTimer* tmrCountdown;
    TTimer* tmrScriptError;

private:
    // Coupon value and code from the service; the value counts only when the
    // service granted the coupon.
    int32_t fetchCoupon(std::wstring& couponCode);
    // The offered plan and its prices; a zeroed plan when there is none.
    TPricePlan fetchPlan(int32_t couponValue);
    void loadPaymentCode(const std::wstring& url);
    // Texts of different sizes side by side share their baseline; the
    // currency sign stands right before the price, wherever it starts.
    void alignTexts();

    TAPI& FApi;
    std::function<void()> FStartMainProgram;
    bool FContinueUninstall = false;
};
