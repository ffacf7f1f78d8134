// TCommLangForm: a borderless window with a drop shadow (the composition
// shadow where the desktop composes windows), moved by dragging its
// background, and translated once when it is created.
#pragma once

#include "ui/Obj_CommForm.h"

class TCommLangForm : public TCommForm {
public:
    TCommLangForm(TComponent* AOwner, const FormDesign& design, bool WithDfm, bool bMouseDownToMoveClient);
    // The application's ordinary creation: the design, the window style, the
    // shadow and the message handling, but no common settings, no
    // translation and no drag-to-move (a window switches that on itself).
    TCommLangForm(TComponent* AOwner, const FormDesign& design);
    std::wstring_view className() const override { return L"TCommLangForm"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    bool bMouseDownToMoveClient() const { return FbMouseDownToMoveClient; }
    // Gives (or takes) the move handler to the window and to every owned
    // background-like control; controls created later need a new setting.
    void SetbMouseDownToMoveClient(bool Value);

    void TranslateManually();
    // After translation (called during construction: only this class's
    // version runs).
    virtual void DoAfterFormTranslate() {}

    // Starts moving the window with the mouse, whatever button was pressed.
    void MouseDownToMoveClient(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

    // The mouse-down handler that moves the window; comparable through
    // std::function::target, so callers can tell which controls move it.
    struct MoveHandler {
        TCommLangForm* form;
        void operator()(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y) const
        {
            form->MouseDownToMoveClient(sender, button, shift, x, y);
        }
    };
    static bool isMoveHandler(const TMouseEvent& handler) { return handler.target<MoveHandler>() != nullptr; }

protected:
    void createParams(TCreateParams& params) override;
    void createWindowHandle(const TCreateParams& params) override;
    void wndProc(TMessage& message) override;

private:
    bool ApplyDwmShadow();

    bool FbMouseDownToMoveClient = false;
};
