// The program's own notice: a modal box with the warning icon, the title
// "提示", the message and one button.
#pragma once

#include "ui/ImgBtn.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <string>

class TFrmMsgBox : public TCommLangForm {
public:
    explicit TFrmMsgBox(const std::wstring& msg);
    std::wstring_view className() const override { return L"TFrmMsgBox"; }
    static const FormDesign& design();

    void FormCreate(TComponent* Sender);
    void FormShow(TComponent* Sender);
    void btnOKClick(TComponent* Sender);
    void imgbtnCloseClick(TComponent* Sender);

    TImage* imgMain;
    TLabel* lblCaption;
    TImage* imgIcon;
    TLabel* lblMsg;
    TTextImageButton* btnOK;
    TImgBtn* imgbtnClose;
};

// Shows TEXT and waits until the user dismisses the box, however.
void ShowMsgBox(const std::wstring& text);
