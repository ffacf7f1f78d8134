#include "ui/UntMsgBox.h"

#include "ui/PngImage.h"

namespace {

constexpr wchar_t kBackground[] = L"msgbox";
constexpr wchar_t kIcon[] = L"icon_warn";
constexpr wchar_t kButtonNormal[] = L"btn_msg_normal";
constexpr wchar_t kButtonOver[] = L"btn_msg_over";
constexpr wchar_t kButtonDown[] = L"btn_msg_down";

} // namespace

const FormDesign& TFrmMsgBox::design()
{
    static const FormDesign d{L"FrmMsgBox",
                              {handler(L"FormCreate", &TFrmMsgBox::FormCreate),
                               handler(L"FormShow", &TFrmMsgBox::FormShow),
                               handler(L"btnOKClick", &TFrmMsgBox::btnOKClick),
                               handler(L"imgbtnCloseClick", &TFrmMsgBox::imgbtnCloseClick)}};
    return d;
}

TFrmMsgBox::TFrmMsgBox(const std::wstring& msg)
    : TCommLangForm(nullptr, design(), true, true),
      imgMain(designComponent<TImage>(*this, L"imgMain")),
      lblCaption(designComponent<TLabel>(*this, L"lblCaption")),
      imgIcon(designComponent<TImage>(*this, L"imgIcon")),
      lblMsg(designComponent<TLabel>(*this, L"lblMsg")),
      btnOK(designComponent<TTextImageButton>(*this, L"btnOK")),
      imgbtnClose(designComponent<TImgBtn>(*this, L"imgbtnClose"))
{
    lblMsg->setCaption(msg);
}

void TFrmMsgBox::FormCreate(TComponent*)
{
    setCaption(L"");
    applyPictureResource(kBackground, [this](const TPicture& p) { imgMain->setPicture(p); });
    applyPictureResource(kIcon, [this](const TPicture& p) { imgIcon->setPicture(p); });
    applyPictureResource(kButtonNormal, [this](const TPicture& p) { btnOK->setBitmap(p); });
    applyPictureResource(kButtonOver, [this](const TPicture& p) { btnOK->setBitmapOver(p); });
    applyPictureResource(kButtonDown, [this](const TPicture& p) { btnOK->setBitmapDown(p); });
}

void TFrmMsgBox::FormShow(TComponent*) {}

void TFrmMsgBox::btnOKClick(TComponent*) { setModalResult(mrOk); }

void TFrmMsgBox::imgbtnCloseClick(TComponent*) { setModalResult(mrCancel); }

void ShowMsgBox(const std::wstring& text)
{
    const auto box = makeForm<TFrmMsgBox>(text);
    box->ShowModal();
}
