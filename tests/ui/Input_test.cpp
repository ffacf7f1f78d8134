#include "UiTest.h"

#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace uitest;

namespace {

// A form with two overlapping labels that log what they receive.
struct LoggingForm {
    TForm form{nullptr};
    TLabel* back = new TLabel(&form);
    TLabel* front = new TLabel(&form);
    std::vector<std::wstring> log;

    LoggingForm()
    {
        form.setBounds(0, 0, 200, 100);
        for (auto* l : {back, front}) {
            l->setAutoSize(false);
            l->setParent(&form);
        }
        back->setBounds(0, 0, 100, 100);
        front->setBounds(50, 0, 100, 50);
        back->setName(L"back");
        front->setName(L"front");
        for (auto* l : {back, front}) {
            const std::wstring n = l->name();
            l->OnMouseEnter = [this, n](TComponent*) { log.push_back(n + L" enter"); };
            l->OnMouseLeave = [this, n](TComponent*) { log.push_back(n + L" leave"); };
            l->OnMouseDown = [this, n](TComponent*, TMouseButton, TShiftState, int x, int y) {
                log.push_back(n + L" down " + std::to_wstring(x) + L"," + std::to_wstring(y));
            };
            l->OnMouseUp = [this, n](TComponent*, TMouseButton, TShiftState, int, int) { log.push_back(n + L" up"); };
            l->OnClick = [this, n](TComponent*) { log.push_back(n + L" click"); };
        }
        form.handle();
    }
};

using Log = std::vector<std::wstring>;

// Events an assistive program would get about a form's client area.
struct WinEvent {
    DWORD event;
    LONG child;
    bool operator==(const WinEvent&) const = default;
};
HWND watchedWindow = nullptr;
std::vector<WinEvent> winEvents;

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND wnd, LONG object, LONG child, DWORD, DWORD)
{
    if (wnd == watchedWindow && object == OBJID_CLIENT)
        winEvents.push_back({event, child});
}

} // namespace

TEST(MouseRouting, TopMostControlGetsEnterPressClickReleaseLeave)
{
    LoggingForm f;
    moveTo(f.form, 10, 10);
    moveTo(f.form, 60, 10); // into the later-declared label, which is on top
    press(f.form, 60, 10);
    release(f.form, 61, 11);
    moveTo(f.form, 190, 90); // onto the bare form
    EXPECT_EQ(f.log, (Log{L"back enter", L"back leave", L"front enter", L"front down 10,10", L"front click",
                          L"front up", L"front leave"}));
}

TEST(MouseRouting, PressCapturesUntilReleaseAndClickNeedsReleaseInside)
{
    LoggingForm f;
    moveTo(f.form, 60, 10);
    press(f.form, 60, 10);
    moveTo(f.form, 10, 80); // over the other label while the button is held
    release(f.form, 10, 80);
    EXPECT_EQ(f.log, (Log{L"front enter", L"front down 10,10", L"front leave", L"back enter", L"front up"}));
}

TEST(MouseRouting, DisabledControlGetsEnterButPressesGoBeneath)
{
    LoggingForm f;
    f.front->setEnabled(false);
    moveTo(f.form, 60, 10);
    press(f.form, 60, 10);
    release(f.form, 60, 10);
    EXPECT_EQ(f.log, (Log{L"front enter", L"back down 60,10", L"back click", L"back up"}));
    f.log.clear();
    f.front->setVisible(false);
    moveTo(f.form, 61, 10);
    EXPECT_EQ(f.log, (Log{L"front leave", L"back enter"}));
}

TEST(Modal, DisablesOtherWindowsAndEndsWithTheModalResult)
{
    TForm other(nullptr);
    other.setBounds(0, 0, 50, 50);
    other.Show();
    TForm dialog(nullptr);
    dialog.setBounds(0, 0, 80, 80);
    bool otherWasDisabled = false;
    whenModal([&](TForm& modal) {
        otherWasDisabled = !::IsWindowEnabled(other.handle());
        modal.setModalResult(mrOk);
    });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(otherWasDisabled);
    EXPECT_TRUE(::IsWindowEnabled(other.handle()));
    EXPECT_FALSE(dialog.visible());

    whenModal([](TForm& modal) { modal.Close(); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel) << "closing a modal form cancels it";
}

TEST(Modal, FormsBeneathActOnNoPostedInput)
{
    LoggingForm f;
    f.form.OnKeyPress = [&](TComponent*, wchar_t&) { f.log.push_back(L"key"); };
    f.form.Show();
    const auto postInput = [&] {
        const HWND wnd = f.form.handle();
        const LPARAM at = MAKELPARAM(60, 10);
        ::PostMessageW(wnd, WM_MOUSEMOVE, 0, at);
        ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
        ::PostMessageW(wnd, WM_CHAR, VK_ESCAPE, 0);
    };
    TForm dialog(nullptr);
    dialog.setBounds(0, 0, 80, 80);
    // Handled in the modal loop before the dialog's own close request.
    whenModal([&](TForm& modal) {
        postInput();
        ::PostMessageW(modal.handle(), WM_CLOSE, 0, 0);
    });
    dialog.ShowModal();
    EXPECT_TRUE(f.log.empty());

    postInput();
    Application.processMessages();
    EXPECT_EQ(f.log, (Log{L"front enter", L"front down 10,10", L"front click", L"front up", L"key"}));
}

TEST(Modal, PressesQueuedBehindTheClickThatClosedItActOnNothing)
{
    LoggingForm f;
    int clicks = 0;
    f.front->OnClick = [&](TComponent*) {
        ++clicks;
        f.form.Close();
    };
    const auto postClick = [&] {
        const LPARAM at = MAKELPARAM(60, 10);
        ::PostMessageW(f.form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(f.form.handle(), WM_LBUTTONUP, 0, at);
    };
    // A double click: the second is queued while the first closes the form.
    whenModal([&](TForm&) {
        postClick();
        postClick();
    });
    f.form.ShowModal();
    Application.processMessages();
    EXPECT_EQ(clicks, 1);

    whenModal([&](TForm&) { postClick(); });
    f.form.ShowModal();
    EXPECT_EQ(clicks, 2) << "shown again, it takes input again";
}

TEST(Modal, EndsWhenAnotherThreadsSentMessageClosesIt)
{
    // The handler of a message another thread sends runs inside GetMessage,
    // which then goes on waiting for a posted one: with nothing posted the
    // loop would never see the result.
    TForm dialog(nullptr);
    dialog.setBounds(0, 0, 80, 80);
    static TForm* closing = nullptr;
    closing = &dialog;
    const HWND receiver = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(receiver, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(+[](HWND wnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
                            if (msg != WM_APP)
                                return ::DefWindowProcW(wnd, msg, w, l);
                            closing->Close();
                            return 0;
                        }));
    std::atomic<bool> ended{false}, rescued{false};
    std::thread sender([&] {
        ::Sleep(300); // the loop is waiting by then
        ::SendMessageW(receiver, WM_APP, 0, 0);
        // A loop that missed the result is freed, so the test fails instead of hanging.
        for (int i = 0; i < 50 && !ended; ++i)
            ::Sleep(100);
        if (!ended) {
            rescued = true;
            ::PostMessageW(receiver, WM_NULL, 0, 0);
        }
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    ended = true;
    sender.join();
    EXPECT_FALSE(rescued);
    ::DestroyWindow(receiver);
}

TEST(CommonForm, EscClosesWithCancelAndTheKeyGoesNoFurther)
{
    TFrmLangTest form;
    auto* edit = form.get<TEdit>(L"edtPath");
    form.Show();
    ::SetFocus(edit->handle());
    edit->setText(L"");
    // Keys typed into the edit pass the form's key preview first.
    ::PostMessageW(edit->handle(), WM_CHAR, L'a', 0);
    Application.processMessages();
    EXPECT_EQ(edit->text(), L"a");
    form.Hide();

    whenModal([&](TForm&) {
        ::PostMessageW(edit->handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(edit->handle(), WM_CHAR, 27, 0);
    });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(edit->text(), L"a");
}

TEST(CommonForm, BorderlessWithDropShadowWhateverTheDesignSays)
{
    TFrmLangTest form;
    const HWND wnd = form.handle();
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(wnd, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
              static_cast<DWORD>(WS_POPUP));
    EXPECT_TRUE(::GetClassLongPtrW(wnd, GCL_STYLE) & CS_DROPSHADOW);
    RECT client;
    ::GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
    EXPECT_EQ(form.position(), TPosition::poScreenCenter);
    EXPECT_EQ(form.font().name(), L"Tahoma");
    EXPECT_EQ(form.font().size(), 9);

    // The same design on a plain form keeps its sizeable frame.
    TForm plain(nullptr, &TFrmLangTest::design());
    EXPECT_TRUE(::GetWindowLongPtrW(plain.handle(), GWL_STYLE) & WS_THICKFRAME);
    ::GetClientRect(plain.handle(), &client);
    EXPECT_EQ(client.right, 400) << "the frame comes around the designed client area";
    EXPECT_EQ(client.bottom, 300);
    plain.setClientWidth(420);
    ::GetClientRect(plain.handle(), &client);
    EXPECT_EQ(client.right, 420);
}

TEST(CommonForm, OrdinaryCreationGetsTheWindowStyleOnly)
{
    struct TFrmOrdinary : TCommLangForm {
        TFrmOrdinary() : TCommLangForm(nullptr, TFrmLangTest::design()) {}
    } form;
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(form.handle(), GWL_STYLE)) & WS_THICKFRAME, 0u);
    EXPECT_FALSE(form.keyPreview());
    EXPECT_FALSE(form.OnKeyPress);
    EXPECT_FALSE(form.OnMouseDown);
    EXPECT_EQ(form.position(), TPosition::poDesigned);
    form.SetbMouseDownToMoveClient(true);
    EXPECT_TRUE(TCommLangForm::isMoveHandler(form.OnMouseDown));
}

TEST(CommonForm, CompositionMessageTakesTheDefaultPathWhenTheShadowCannotBeApplied)
{
    TFrmLangTest form;
    // Without desktop composition (as under Wine) the message is not
    // swallowed: the default handling answers it.
    EXPECT_EQ(::SendMessageW(form.handle(), 0x031E, 0, 0), 0);
    EXPECT_TRUE(::IsWindow(form.handle()));
}

TEST(DragToMove, BackgroundLikeControlsMoveTheWindowOthersKeepTheirHandlers)
{
    TFrmLangTest form;
    EXPECT_TRUE(TCommLangForm::isMoveHandler(form.OnMouseDown));
    EXPECT_TRUE(movesWindow(*form.get<TPanel>(L"pnl1")));
    EXPECT_TRUE(movesWindow(*form.get<TLabel>(L"lblTitle"))) << "nested in a panel";
    EXPECT_TRUE(movesWindow(*form.get<TImage>(L"imgBack")));
    EXPECT_TRUE(movesWindow(*form.get<TTabSheet>(L"tbOne")));
    EXPECT_FALSE(movesWindow(*form.get<TLabel>(L"lblClickable"))) << "a click handler exempts it";
    EXPECT_FALSE(movesWindow(*form.get<TLinkLabel>(L"lnkHome"))) << "exact class names only";
    EXPECT_FALSE(movesWindow(*form.get<TEdit>(L"edtPath")));

    // Its click still works, and it does not move the window.
    const POINT c = centreOf(*form.get<TLabel>(L"lblClickable"));
    clickAt(form, c.x, c.y);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_EQ(form.moveCommands, 0);

    // Any button pressed on a picture or on the bare window moves it.
    const POINT img = centreOf(*form.get<TImage>(L"imgBack"));
    mouse(form, WM_RBUTTONDOWN, img.x, img.y, MK_RBUTTON);
    EXPECT_EQ(form.moveCommands, 1);
    press(form, 395, 250);
    EXPECT_EQ(form.moveCommands, 2);
    ::SendMessageW(form.get<TEdit>(L"edtPath")->handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(form.get<TEdit>(L"edtPath")->handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(form.moveCommands, 2) << "the edit window keeps its own mouse";

    auto* late = new TImage(&form);
    late->setParent(&form);
    EXPECT_FALSE(movesWindow(*late)) << "created after the last setting";
    form.SetbMouseDownToMoveClient(false);
    EXPECT_FALSE(form.OnMouseDown);
    EXPECT_FALSE(form.get<TPanel>(L"pnl1")->OnMouseDown);
    form.SetbMouseDownToMoveClient(true);
    EXPECT_TRUE(movesWindow(*late));
}


TEST(Accessibility, ChangedTextsAndProgressValuesAreAnnouncedWhileTheWindowShows)
{
    TFrmLangTest form;
    auto* title = form.get<TLabel>(L"lblTitle");
    auto* bar = form.get<TProgressBar>(L"pbMain");
    watchedWindow = form.handle();
    winEvents.clear();
    const HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                                 onWinEvent, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook);
    title->setCaption(L"not shown yet");
    bar->setPosition(40);
    form.Show();
    title->setCaption(L"50%");
    title->setCaption(L"50%");
    bar->setPosition(50);
    for (int i = 0; i < 50 && winEvents.size() < 2; ++i) {
        Application.processMessages();
        ::Sleep(10);
    }
    ::UnhookWinEvent(hook);
    form.Hide();
    const auto children = form.accessibleChildren();
    const auto idOf = [&](const TControl* c) {
        return static_cast<LONG>(std::find(children.begin(), children.end(), c) - children.begin() + 1);
    };
    EXPECT_EQ(winEvents, (std::vector<WinEvent>{{EVENT_OBJECT_NAMECHANGE, idOf(title)},
                                                {EVENT_OBJECT_VALUECHANGE, idOf(bar)}}));
}

TEST(Accessibility, AltWithAnAccessKeyActsAndAssistiveProgramsAreTold)
{
    TForm form(nullptr);
    form.setBounds(0, 0, 200, 100);
    auto* link = new TLinkLabel(&form);
    link->setParent(&form);
    link->setBounds(10, 10, 0, 0);
    link->setCaption(L"A&&B(&O)");
    int opened = 0;
    link->OnClick = [&](TComponent*) { ++opened; };
    auto* plain = new TLabel(&form);
    plain->setParent(&form);
    plain->setCaption(L"A&&B(&O)");
    EXPECT_EQ(plain->accessKey(), 0) << "what does not act has no access key";
    EXPECT_EQ(plain->displayCaption(), L"A&&B(&O)");
    form.Show();
    ::PostMessageW(form.handle(), WM_SYSKEYDOWN, 'O', 1 << 29);
    Application.processMessages();
    EXPECT_EQ(opened, 1);

    IAccessible* object = accessibleOf(form);
    ASSERT_TRUE(object);
    const long id = accessibleChild(*object, L"A&B(O)", ROLE_SYSTEM_LINK);
    ASSERT_NE(id, 0);
    BSTR keys = nullptr;
    EXPECT_EQ(object->get_accKeyboardShortcut(childId(id), &keys), S_OK);
    EXPECT_STREQ(keys, L"Alt+O");
    ::SysFreeString(keys);
    object->Release();
    form.Hide();
}

TEST(ChildWindows, FollowTheirPageThePlaceOfTheirParentsAndTheirState)
{
    TFrmLangTest form;
    auto* edit = form.get<TEdit>(L"edtOnPage");
    auto* pages = form.get<TPageControl>(L"cnMain");
    form.Show();
    EXPECT_FALSE(::IsWindowVisible(edit->handle())) << "its page is not the active one";
    pages->setActivePage(form.get<TTabSheet>(L"tbOne"));
    EXPECT_TRUE(::IsWindowVisible(edit->handle()));
    auto placeOf = [&] {
        RECT r;
        ::GetWindowRect(edit->handle(), &r);
        ::MapWindowPoints(nullptr, form.handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    EXPECT_EQ(placeOf().left, 15);
    EXPECT_EQ(placeOf().top, 205);
    pages->setLeft(30);
    EXPECT_EQ(placeOf().left, 35);
    EXPECT_TRUE(::GetWindowLongPtrW(edit->handle(), GWL_STYLE) & ES_READONLY);

    auto* bar = form.get<TProgressBar>(L"pbMain");
    int changes = 0;
    bar->OnChange = [&](TComponent*) { ++changes; };
    bar->setPosition(50);
    bar->setPosition(50);
    EXPECT_EQ(::SendMessageW(bar->handle(), PBM_GETPOS, 0, 0), 50);
    bar->setPosition(500);
    EXPECT_EQ(bar->position(), 100);
    EXPECT_EQ(changes, 2);
    form.Hide();
}
