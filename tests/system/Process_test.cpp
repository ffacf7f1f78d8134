#include "system/Process.h"

#include "system/Encoding.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> markLines(const fs::path& mark)
{
    std::vector<std::string> lines;
    std::string text = readFile(mark), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

} // namespace

TEST(Process, DesktopUserStartRunsTheCommandInTheGivenFolder)
{
    // The desktop shell runs once the session has a desktop window.
    ::GetDesktopWindow();
    ASSERT_TRUE(findProcessByName(L"explorer.EXE"));
    TempDir dir;
    const fs::path mark = dir / L"mark.txt";
    const DWORD started = runAsDesktopUser(markHelperCommand(markHelperPath(), mark), false, true, dir.str(), false);
    EXPECT_NE(started, 0u);
    ASSERT_TRUE(waitForFile(mark));
    const auto lines = markLines(mark);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(win::fromUtf8(lines[0]), dir.str());
}

TEST(Process, OwnTokenStartWaitsAndReturnsTheExitCode)
{
    TempDir dir;
    const fs::path mark = dir / L"mark.txt";
    EXPECT_EQ(runAsDesktopUser(markHelperCommand(markHelperPath(), mark, 0, 42), true, false, L"", true), 42u);
    EXPECT_TRUE(fs::exists(mark));
}

TEST(Process, NothingStartsForAMissingProgram)
{
    TempDir dir;
    EXPECT_EQ(runAsDesktopUser((dir / L"missing.exe").wstring(), true, false, L"", false), 0u);
}

TEST(Process, KillByNameTerminatesEveryInstanceOfItsSessionWhateverTheLetterCase)
{
    TempDir dir;
    const std::wstring helper = copyMarkHelper(dir.path(), L"KillMeHelper.exe");
    win::Handle first = startProcess(markHelperCommand(helper, dir / L"1.txt", 60000));
    win::Handle second = startProcess(markHelperCommand(helper, dir / L"2.txt", 60000));
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(waitForFile(dir / L"1.txt") && waitForFile(dir / L"2.txt"));

    // Another session's copies (another user's) are neither found nor ended.
    const DWORD otherSession = currentSession() + 1;
    EXPECT_FALSE(findProcessByName(L"killmehelper.EXE", otherSession));
    EXPECT_TRUE(killProcessByName(L"killmehelper.EXE", otherSession));
    EXPECT_EQ(::WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    EXPECT_TRUE(findProcessByName(L"killmehelper.EXE"));
    EXPECT_TRUE(killProcessByName(L" killmehelper.EXE "));
    for (const win::Handle* process : {&first, &second}) {
        ASSERT_EQ(::WaitForSingleObject(process->get(), 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        ::GetExitCodeProcess(process->get(), &code);
        EXPECT_EQ(code, 1u);
    }
    EXPECT_FALSE(findProcessByName(L"KillMeHelper.exe"));
    EXPECT_TRUE(killProcessByName(L"KillMeHelper.exe")); // none left: still true
}

TEST(Process, ScriptsStartByTheInterpreterInTheirFolderUnlessItWouldExpandThePath)
{
    TempDir dir;
    const std::wstring helper = copyMarkHelper(dir.path(), L"opened.exe");
    const fs::path batch = dir / L"run & go.bat";
    writeFile(batch, "@\"" + win::toUtf8(helper) + "\" \"" + win::toUtf8((dir / L"mark.txt").wstring()) + "\"\r\n");
    ASSERT_TRUE(startScript(batch.wstring()));
    ASSERT_TRUE(waitForFile(dir / L"mark.txt"));
    EXPECT_EQ(win::fromUtf8(markLines(dir / L"mark.txt")[0]), dir.str());

    // "%" names a variable of the (user-writable) environment even inside quotes.
    fs::create_directories(dir / L"%TEMP%");
    fs::copy_file(batch, dir / L"%TEMP%" / L"run.bat");
    EXPECT_FALSE(startScript((dir / L"%TEMP%" / L"run.bat").wstring()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BAD_PATHNAME));
}

TEST(Process, AHeldFileStaysHeldAgainstWritersWhileTheStartedProgramRuns)
{
    TempDir dir;
    const fs::path file = dir / L"held.bat";
    writeFile(file, "held");
    const fs::path mark = dir / L"mark.txt";
    {
        const win::FileHandle held(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 0, nullptr));
        ASSERT_TRUE(held);
        const std::wstring helper = copyMarkHelper(dir.path(), L"HeldHelper.exe");
        const std::wstring command = markHelperCommand(helper, mark, 60000);
        ASSERT_TRUE(startProgram(helper, command.substr(command.find(L"\" ") + 2), dir.str(), held.get()));
    }
    ASSERT_TRUE(waitForFile(mark));
    const auto openForWriting = [&] {
        return win::FileHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    };
    EXPECT_FALSE(openForWriting()) << "the program's copy of the handle denies writers";
    killProcessByName(L"HeldHelper.exe");
    EXPECT_TRUE(waitUntil([&] { return static_cast<bool>(openForWriting()); }));
}
