// What a user does in a row of modal forms (a window and the boxes it opens),
// step by step: each step runs from a thread timer inside the running modal
// loop once the top modal form is of its class, and may ask to be run again
// (a wait). A script that stops making progress cancels every modal form, so
// a broken flow fails instead of hanging.
#pragma once

#include "tests/ui/UiTest.h"
#include "ui/Forms.h"
#include "ui/UntConfirmbox.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace uitest {

// The top-most modal form: a box opened from a modal window comes later in
// the application's list of forms than the window.
inline TForm* topModal()
{
    const auto& forms = Application.forms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        if ((*it)->modal())
            return *it;
    return nullptr;
}

// A click in the middle of CONTROL, posted as the mouse sends it, so that it
// is handled inside the running modal loop.
inline void postClick(TForm& form, const TControl& control)
{
    const POINT c = centreOf(control);
    const LPARAM at = MAKELPARAM(c.x, c.y);
    ::PostMessageW(form.handle(), WM_MOUSEMOVE, 0, at);
    ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, at);
}

class ModalScript {
public:
    // Returns false to be run again on the next tick.
    using Step = std::function<bool(TForm&)>;

    ModalScript& on(std::wstring_view formClass, std::function<void(TForm&)> step)
    {
        return waitOn(formClass, [step = std::move(step)](TForm& f) {
            step(f);
            return true;
        });
    }
    ModalScript& waitOn(std::wstring_view formClass, Step step)
    {
        steps_.push_back({std::wstring(formClass), std::move(step)});
        return *this;
    }
    // Answers the next confirmation box; its question goes into ASKED.
    ModalScript& confirm(bool yes = true, std::vector<std::wstring>* asked = nullptr)
    {
        return on(L"TFrmConfirmbox", [yes, asked](TForm& f) {
            auto& box = static_cast<TFrmConfirmbox&>(f);
            if (asked)
                asked->push_back(box.lblMsg->caption());
            postClick(box, yes ? *box.btnYes : *box.btnNo);
        });
    }

    // Runs BODY, which enters the modal loops, with the script's timer going;
    // WATCH, when given, runs on every tick.
    template <class Body>
    decltype(auto) run(Body&& body, std::function<void()> watch = {})
    {
        struct Running {
            Running(ModalScript* script, std::function<void()> watch) : timer(::SetTimer(nullptr, 0, 20, tick))
            {
                current_ = script;
                script->watch_ = std::move(watch);
                script->lastProgress_ = ::GetTickCount64();
            }
            ~Running()
            {
                ::KillTimer(nullptr, timer);
                current_ = nullptr;
            }
            UINT_PTR timer;
        } running(this, std::move(watch));
        return body();
    }

    bool finished() const { return steps_.empty() && !stalled_; }

private:
    static constexpr ULONGLONG kStallMs = 20000;

    struct Entry {
        std::wstring formClass;
        Step step;
    };

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalScript* self = current_;
        if (!self)
            return;
        if (self->watch_)
            self->watch_();
        TForm* form = topModal();
        if (!form)
            return;
        if (::GetTickCount64() - self->lastProgress_ > kStallMs) {
            self->stalled_ = true;
            for (TForm* f : Application.forms())
                if (f->modal())
                    f->setModalResult(mrCancel);
            return;
        }
        if (self->steps_.empty() || form->className() != self->steps_.front().formClass)
            return;
        Entry entry = std::move(self->steps_.front());
        self->steps_.pop_front();
        if (!entry.step(*form)) {
            self->steps_.push_front(std::move(entry));
            return;
        }
        self->lastProgress_ = ::GetTickCount64();
    }

    static inline ModalScript* current_ = nullptr;
    std::deque<Entry> steps_;
    std::function<void()> watch_;
    ULONGLONG lastProgress_ = 0;
    bool stalled_ = false;
};

} // namespace uitest
