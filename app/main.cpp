// Program entry: the application object, the one main window and the message
// loop. Creating the window does the whole start-up; the program ends when
// that window closes.
#include "installer/CommandLine.h"
#include "installer/CrashExit.h"
#include "installer/InstallResult.h"
#include "installer/UntMain.h"
#include "system/Encoding.h"
#include "system/Registration.h"
#include "system/util.h"
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
    try {
        const auto form = makeForm<TFrmCommInst>();
        Application.setMainForm(form.get());
        Application.run();
        return form->exitCode();
    } catch (const std::exception& e) {
        // A main window that cannot be built: say why and end, unless a
        // silent run has nobody to tell.
        if (!runsSilently(parseCommandLine(programArguments()), getExeFileName() != kUninstallerName))
            showInfo(win::fromUtf8(e.what()));
        return kWindowNotBuiltExitCode;
    }
}
