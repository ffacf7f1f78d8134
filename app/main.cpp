// Program entry: the start-up, the one main window that hosts the run it
// made, and the message loop. The program ends when that window closes, or
// without it when the start-up refused to run.
#include "installer/CrashExit.h"
#include "installer/InstallResult.h"
#include "installer/StartUp.h"
#include "installer/UntMain.h"
#include "installer/WindowObserver.h"
#include "system/Encoding.h"
#include "ui/SystemBoxes.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
// The C++ library's own reaction to an exception that nothing caught writes
// the exception's demangled type name to the console, which this windowed
// program does not have; the demangler alone is 45 KB of the installer.
// Defined here, the library's version is never linked in.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    // A crash never ends with a code that reads as an outcome (0 is
    // "installed").
    endCrashesWithOwnCode();
    WindowObserver windowObserver;
    StartUp startUp(programStartInputs(), windowObserver);
    RunContext& run = startUp.context();
    try {
        if (startUp.run()) {
            const auto form = makeForm<TFrmCommInst>(run, windowObserver);
            Application.setMainForm(form.get());
            Application.run();
        }
        run.finish();
        return run.exitCode();
    } catch (const std::exception& e) {
        // A main window that cannot be built: say why and end, unless a
        // silent run has nobody to tell.
        if (!run.silent())
            showInfo(win::fromUtf8(e.what()));
        return kWindowNotBuiltExitCode;
    }
}
