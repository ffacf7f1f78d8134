// TCommForm: the form every window derives from. Built with or without its
// design; Esc closes it, it opens centred on the screen, and it has a fixed
// window font.
#pragma once

#include "ui/Forms.h"

#include <string>

class TCommForm : public TForm {
public:
    // WITHDFM: build the window from DESIGN; otherwise an empty window.
    TCommForm(TComponent* AOwner, const FormDesign& design, const std::wstring& AFontName, int AFontSize,
              bool WithDfm);
    // The application's ordinary creation: the design only, none of the
    // settings below.
    TCommForm(TComponent* AOwner, const FormDesign& design);
    std::wstring_view className() const override { return L"TCommForm"; }

    void initSettingManual(const std::wstring& AFontName, int AFontSize, bool WithDfm);
    // Esc closes the window (a modal one with Cancel) and goes no further.
    void FormEscKeyPress(TComponent* Sender, wchar_t& Key);
};
