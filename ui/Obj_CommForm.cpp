#include "ui/Obj_CommForm.h"

namespace {

constexpr wchar_t kEscape = 27;

} // namespace

TCommForm::TCommForm(TComponent* AOwner, const FormDesign& design, const std::wstring& AFontName, int AFontSize,
                     bool WithDfm)
    : TForm(AOwner, WithDfm ? &design : nullptr)
{
    initSettingManual(AFontName, AFontSize, WithDfm);
}

TCommForm::TCommForm(TComponent* AOwner, const FormDesign& design) : TForm(AOwner, &design) {}

void TCommForm::initSettingManual(const std::wstring& AFontName, int AFontSize, bool)
{
    setKeyPreview(true);
    OnKeyPress = [this](TComponent* sender, wchar_t& key) { FormEscKeyPress(sender, key); };
    setPosition(TPosition::poScreenCenter);
    setAutoScroll(false);
    setAutoSize(false);
    font().setName(AFontName);
    font().setSize(AFontSize);
}

void TCommForm::FormEscKeyPress(TComponent*, wchar_t& Key)
{
    if (Key != kEscape)
        return;
    Close();
    Key = 0;
}
