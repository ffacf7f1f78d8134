// How the program ends: when it crashes, and when a download ends just as
// the program does (as a silent install ends after a failed download).
#include "installer/InstallResult.h"
#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

namespace {

constexpr DWORD kNotEnded = 0xFFFF;
constexpr DWORD kRunLimitMs = 60000;

// The helper's exit code; kNotEnded when it did not end in time.
DWORD runHelper(const std::wstring& args)
{
    const win::Handle process = startProcess(L"\"" + getExeDir() + L"ending_helper.exe\" " + args);
    if (!process)
        return kNotEnded;
    if (::WaitForSingleObject(process.get(), kRunLimitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), kNotEnded);
        return kNotEnded;
    }
    DWORD code = kNotEnded;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

std::wstring quoted(const std::filesystem::path& path) { return L"\"" + path.wstring() + L"\""; }

} // namespace

TEST(ProgramEndTest, CrashOnAnyThreadEndsWithItsOwnCodeAndTheLogSaysWhere)
{
    TempDir dir;
    const auto log = dir / L"crash.log";
    EXPECT_EQ(runHelper(L"fault " + quoted(log)), static_cast<DWORD>(kCrashExitCode));
    const std::string text = readFile(log);
    // Wine's 32-bit half on qemu-i386 reports every access fault as an illegal
    // instruction: the emulator leaves the trap number out of the signal's
    // context (Wine logs "Got unexpected trap -1").
    const bool emulatedWine32 =
        sizeof(void*) == 4 && ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_NE(text.find(emulatedWine32 ? "crash: exception C000001D at " : "crash: exception C0000005 at "),
              std::string::npos)
        << text;
}

// The program ends the moment each download has ended, whole or cut, while
// the download's worker winds down.
TEST(ProgramEndTest, DownloadsEndingAsTheProgramEndsNeverCrashIt)
{
    constexpr size_t kPackage = 65888;
    const std::string body(kPackage, 'z');
    LoopbackServer server;
    std::atomic<int> answers = 0;
    server.on("/pkg.zip", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/zip";
        // Every other answer announces more than it sends, then breaks.
        const bool cut = ++answers % 2 == 0;
        reply.length = cut ? 3 * kPackage : kPackage;
        reply.stream = [&body](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            return offset == 0 && write(body.data(), body.size());
        };
        return reply;
    });
    TempDir dir;
    const std::wstring args = L"download " + server.worigin() + L"/pkg.zip " + quoted(dir / L"pkg.zip") + L" " +
                              quoted(dir / L"download.log");
    for (int run = 0; run < 16; ++run)
        ASSERT_EQ(runHelper(args), 0u) << "run " << run << ": " << readFile(dir / L"download.log");
}
