#include "ui/UntConfirmbox.h"

#include "ui/PngImage.h"

namespace {

constexpr wchar_t kBackground[] = L"msgbox";
constexpr wchar_t kIcon[] = L"icon_ques";
constexpr wchar_t kYesNormal[] = L"btn_empty_normal";
constexpr wchar_t kYesOver[] = L"btn_empty_over";
constexpr wchar_t kYesDown[] = L"btn_empty_down";
constexpr wchar_t kNoNormal[] = L"btn_msg_normal";
constexpr wchar_t kNoOver[] = L"btn_msg_over";
constexpr wchar_t kNoDown[] = L"btn_msg_down";

} // namespace

const FormDesign& TFrmConfirmbox::design()
{
    static const FormDesign d{L"FrmConfirmbox",
                              {handler(L"FormCreate", &TFrmConfirmbox::FormCreate),
                               handler(L"FormShow", &TFrmConfirmbox::FormShow),
                               handler(L"btnYesClick", &TFrmConfirmbox::btnYesClick),
                               handler(L"btnNoClick", &TFrmConfirmbox::btnNoClick),
                               handler(L"imgbtnCloseClick", &TFrmConfirmbox::imgbtnCloseClick),
                               handler(L"btnYesMouseEnter", &TFrmConfirmbox::btnYesMouseEnter),
                               handler(L"btnYesMouseLeave", &TFrmConfirmbox::btnYesMouseLeave)}};
    return d;
}

TFrmConfirmbox::TFrmConfirmbox(const std::wstring& msg)
    : TCommLangForm(nullptr, design(), true, true),
      imgMain(designComponent<TImage>(*this, L"imgMain")),
      lblCaption(designComponent<TLabel>(*this, L"lblCaption")),
      imgIcon(designComponent<TImage>(*this, L"imgIcon")),
      lblMsg(designComponent<TLabel>(*this, L"lblMsg")),
      btnYes(designComponent<TTextImageButton>(*this, L"btnYes")),
      btnNo(designComponent<TTextImageButton>(*this, L"btnNo")),
      imgBottom(designComponent<TImage>(*this, L"imgBottom")),
      imgLeft(designComponent<TImage>(*this, L"imgLeft")),
      imgRight(designComponent<TImage>(*this, L"imgRight")),
      imgbtnClose(designComponent<TImgBtn>(*this, L"imgbtnClose"))
{
    lblMsg->setCaption(msg);
}

void TFrmConfirmbox::FormCreate(TComponent*)
{
    applyPictureResource(kBackground, [this](const TPicture& p) { imgMain->setPicture(p); });
    applyPictureResource(kIcon, [this](const TPicture& p) { imgIcon->setPicture(p); });
    applyPictureResource(kYesNormal, [this](const TPicture& p) { btnYes->setBitmap(p); });
    applyPictureResource(kYesOver, [this](const TPicture& p) { btnYes->setBitmapOver(p); });
    applyPictureResource(kYesDown, [this](const TPicture& p) { btnYes->setBitmapDown(p); });
    applyPictureResource(kNoNormal, [this](const TPicture& p) { btnNo->setBitmap(p); });
    applyPictureResource(kNoOver, [this](const TPicture& p) { btnNo->setBitmapOver(p); });
    applyPictureResource(kNoDown, [this](const TPicture& p) { btnNo->setBitmapDown(p); });
}

void TFrmConfirmbox::FormShow(TComponent*) {}

void TFrmConfirmbox::btnYesClick(TComponent*) { setModalResult(mrOk); }

void TFrmConfirmbox::btnNoClick(TComponent*) { setModalResult(mrCancel); }

void TFrmConfirmbox::imgbtnCloseClick(TComponent*) { setModalResult(mrCancel); }

void TFrmConfirmbox::btnYesMouseEnter(TComponent*) { btnYes->font().setColor(clWhite); }

void TFrmConfirmbox::btnYesMouseLeave(TComponent*) { btnYes->font().setColor(clBlack); }

bool ShowConfirmBox(const std::wstring& text)
{
    const auto box = makeForm<TFrmConfirmbox>(text);
    return box->ShowModal() == mrOk;
}
