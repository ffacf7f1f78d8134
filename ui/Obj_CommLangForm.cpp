#include "ui/Obj_CommLangForm.h"

#include "ui/Obj_TransLang.h"

#include "system/Handles.h"
#include "system/Process.h"

namespace {

constexpr wchar_t kTranslatorVersion[] = L"1.00";
constexpr wchar_t kDwmLibrary[] = L"dwmapi.dll";
constexpr UINT kCompositionChanged = 0x031E;
constexpr UINT kNcRenderingChanged = 0x031F;
constexpr WPARAM kMoveByCaption = 0xF012;
constexpr DWORD kNcRenderingPolicy = 2;
constexpr DWORD kUseWindowStyle = 0;

// Control kinds a press on which moves the window. The toolkit's label and
// picture stand for every label kind (a click handler exempts them); panels
// and tab sheets always move it.
struct MoveRule {
    const wchar_t* className;
    bool unlessClickHandler;
};
constexpr MoveRule kMoveRules[] = {
    {L"TImage", true},
    {L"TLabel", true},
    {L"TPanel", false},
    {L"TTabSheet", false},
};

struct DwmMargins {
    int left, right, top, bottom;
};

// dwmapi is looked up at run time: it does not exist before Windows 6.
class Dwm {
public:
    Dwm() : module_(loadSystemLibrary(kDwmLibrary))
    {
        if (!module_)
            return;
        setAttribute_ = reinterpret_cast<SetAttribute>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DwmSetWindowAttribute")));
        isEnabled_ = reinterpret_cast<IsEnabled>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DwmIsCompositionEnabled")));
        extendFrame_ = reinterpret_cast<ExtendFrame>(
            reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DwmExtendFrameIntoClientArea")));
    }
    bool usable() const { return setAttribute_ && isEnabled_ && extendFrame_; }
    bool setPolicy(HWND wnd) const
    {
        const DWORD value = kUseWindowStyle;
        return SUCCEEDED(setAttribute_(wnd, kNcRenderingPolicy, &value, sizeof(value)));
    }
    bool compositionEnabled() const
    {
        BOOL enabled = FALSE;
        return SUCCEEDED(isEnabled_(&enabled)) && enabled;
    }
    bool extendFrame(HWND wnd) const
    {
        const DwmMargins margins{0, 0, 0, 1};
        return SUCCEEDED(extendFrame_(wnd, &margins));
    }

private:
    using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, const void*, DWORD);
    using IsEnabled = HRESULT(WINAPI*)(BOOL*);
    using ExtendFrame = HRESULT(WINAPI*)(HWND, const DwmMargins*);

    win::Module module_;
    SetAttribute setAttribute_ = nullptr;
    IsEnabled isEnabled_ = nullptr;
    ExtendFrame extendFrame_ = nullptr;
};

} // namespace

TCommLangForm::TCommLangForm(TComponent* AOwner, const FormDesign& design, bool WithDfm,
                             bool bMouseDownToMoveClient)
    : TCommForm(AOwner, design, std::wstring(LangFonts[Lang_CH]), LangFontSizes[Lang_CH], WithDfm)
{
    TranslateManually();
    SetbMouseDownToMoveClient(bMouseDownToMoveClient);
}

TCommLangForm::TCommLangForm(TComponent* AOwner, const FormDesign& design) : TCommForm(AOwner, design) {}

const PropertyList& TCommLangForm::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TCommForm::publishedProperties();
        l.boolean<TCommLangForm>(L"bMouseDownToMoveClient", &TCommLangForm::bMouseDownToMoveClient,
                                 &TCommLangForm::SetbMouseDownToMoveClient);
        return l;
    }();
    return list;
}

void TCommLangForm::TranslateManually()
{
    TTransLang translator(kTranslatorVersion, Lang_CH, false);
    // A broken number in a language table stops the translation at that
    // line; the window still opens with what was applied.
    try {
        translator.TransFormLang(*this);
    } catch (const ELangConvertError&) {
    }
    DoAfterFormTranslate();
}

void TCommLangForm::SetbMouseDownToMoveClient(bool Value)
{
    FbMouseDownToMoveClient = Value;
    const TMouseEvent handler = Value ? TMouseEvent(MoveHandler{this}) : TMouseEvent();
    OnMouseDown = handler;
    for (TComponent* c : components()) {
        auto* control = dynamic_cast<TControl*>(c);
        if (!control)
            continue;
        for (const auto& rule : kMoveRules) {
            if (c->className() == rule.className && !(rule.unlessClickHandler && control->OnClick))
                control->OnMouseDown = handler;
        }
    }
}

void TCommLangForm::MouseDownToMoveClient(TComponent*, TMouseButton, TShiftState, int, int)
{
    ::ReleaseCapture();
    ::SendMessageW(handle(), WM_SYSCOMMAND, kMoveByCaption, 0);
}

void TCommLangForm::createParams(TCreateParams& params)
{
    TCommForm::createParams(params);
    params.style = WS_POPUP;
    params.classStyle |= CS_DROPSHADOW;
}

void TCommLangForm::createWindowHandle(const TCreateParams& params)
{
    TCommForm::createWindowHandle(params);
    if (isVistaOrLater())
        ApplyDwmShadow();
}

void TCommLangForm::wndProc(TMessage& message)
{
    if ((message.Msg == kCompositionChanged || message.Msg == kNcRenderingChanged) && ApplyDwmShadow()) {
        message.Result = 0;
        return;
    }
    TCommForm::wndProc(message);
}

bool TCommLangForm::ApplyDwmShadow()
{
    if (!isVistaOrLater())
        return false;
    static const Dwm dwm;
    const HWND wnd = existingHandle();
    if (!wnd || !dwm.usable() || !dwm.setPolicy(wnd) || !dwm.compositionEnabled())
        return false;
    return dwm.extendFrame(wnd);
}
