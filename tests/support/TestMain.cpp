// The entry of every test program. The program puts itself into a job that
// ends all its processes when its last handle closes, so that nothing a
// test started (an installer, the product it launched, a self-delete script
// and its command interpreter) outlives the test: after each test every
// other process of the job is ended, and when the program itself ends or is
// killed (a time-out of the test runner), the system ends the rest. A
// process left running would otherwise keep the runner's output pipe open
// and the runner waiting for it.
#include "system/Handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

constexpr DWORD kEndWaitMs = 5000;
// What a process ended by the clean-up returns.
constexpr UINT kEndedByTestRun = 0xDEAD;

HANDLE testJob()
{
    static const win::Handle job = []() -> win::Handle {
        // A test program started by another one (as the uninstaller's copy)
        // is already in that one's job, which ends what it leaves.
        BOOL inJob = FALSE;
        if (::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob)
            return {};
        // The session's desktop process is started by the first program
        // that asks for the desktop; started from inside the job it would
        // be ended with the test that asked first, taking the desktop (and
        // the shell every later test starts programs through) with it.
        ::GetDesktopWindow();
        win::Handle made(::CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && (!::SetInformationJobObject(made.get(), JobObjectExtendedLimitInformation, &limits,
                                                sizeof(limits)) ||
                     !::AssignProcessToJobObject(made.get(), ::GetCurrentProcess())))
            made.reset();
        return made;
    }();
    return job.get();
}

// The ids of the job's processes other than this one.
std::vector<ULONG_PTR> otherProcesses(HANDLE job)
{
    constexpr DWORD kMaxIds = 256;
    std::vector<unsigned char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMaxIds * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    list->NumberOfAssignedProcesses = kMaxIds;
    std::vector<ULONG_PTR> ids;
    if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()),
                                     nullptr))
        return ids;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i)
        if (list->ProcessIdList[i] != ::GetCurrentProcessId())
            ids.push_back(list->ProcessIdList[i]);
    return ids;
}

class EndLeftoverProcesses : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override
    {
        HANDLE job = testJob();
        if (!job)
            return;
        for (ULONG_PTR id : otherProcesses(job)) {
            const win::Handle process(
                ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
            // The list may still hold processes that have just ended.
            if (!process || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
                continue;
            ::TerminateProcess(process.get(), kEndedByTestRun);
            ::WaitForSingleObject(process.get(), kEndWaitMs);
            std::printf("[ leftover ] %s.%s: ended process %lu\n", test.test_suite_name(), test.name(),
                        static_cast<unsigned long>(id));
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new EndLeftoverProcesses);
    const int result = RUN_ALL_TESTS();
    // Every test has ended its processes by now. Wine's server fails when a
    // job ends the process that closes it, so the rule is lifted for the
    // normal exit; it stays for a program that is killed.
    if (HANDLE job = testJob()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    }
    return result;
}
