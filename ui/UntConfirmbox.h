// The program's own yes/no question: a modal box with the question icon, the
// title "提示", the question and the buttons "是" and "否".
#pragma once

#include "ui/ImgBtn.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <string>

class TFrmConfirmbox : public TCommLangForm {
public:
    explicit TFrmConfirmbox(const std::wstring& msg);
    std::wstring_view className() const override { return L"TFrmConfirmbox"; }
    static const FormDesign& design();

    void FormCreate(TComponent* Sender);
    void FormShow(TComponent* Sender);
    void btnYesClick(TComponent* Sender);
    void btnNoClick(TComponent* Sender);
    void imgbtnCloseClick(TComponent* Sender);
    void btnYesMouseEnter(TComponent* Sender);
    void btnYesMouseLeave(TComponent* Sender);

    TImage* imgMain;
    TLabel* lblCaption;
    TImage* imgIcon;
    TLabel* lblMsg;
    TTextImageButton* btnYes;
    TTextImageButton* btnNo;
    TImage* imgBottom;
    TImage* imgLeft;
    TImage* imgRight;
    TImgBtn* imgbtnClose;
};

// Asks TEXT; true only when the user pressed "是" ("否", the close button and
// Esc all answer false).
bool ShowConfirmBox(const std::wstring& text);
