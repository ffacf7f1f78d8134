#include "installer/CrashExit.h"

#include "installer/InstallResult.h"
#include "installer/LogFile.h"

#include <windows.h>

#include <cstdint>
#include <exception>

namespace {

constexpr char kCrashed[] = "crash: exception ";
constexpr char kAt[] = " at ";
constexpr char kUncaught[] = "crash: an exception that nothing caught";
constexpr char kEnds[] = ", the program ends with ";

// One log line built on the stack: a crash may have struck inside the heap
// or while the log's lock was held, so nothing here allocates or locks.
class CrashLine {
public:
    CrashLine()
    {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        decimal(now.wYear, 4).text("-").decimal(now.wMonth, 2).text("-").decimal(now.wDay, 2).text(" ");
        decimal(now.wHour, 2).text(":").decimal(now.wMinute, 2).text(":").decimal(now.wSecond, 2).text(".");
        decimal(now.wMilliseconds, 3).text("  ");
    }

    CrashLine& text(const char* part)
    {
        for (; *part && size_ < sizeof(line_); ++part)
            line_[size_++] = *part;
        return *this;
    }

    CrashLine& decimal(unsigned value, int digits)
    {
        char reversed[12];
        int count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 && count < 10);
        while (count < digits && count < 12)
            reversed[count++] = '0';
        while (count > 0 && size_ < sizeof(line_))
            line_[size_++] = reversed[--count];
        return *this;
    }

    CrashLine& hex(uint64_t value, int digits)
    {
        for (int shift = (digits - 1) * 4; shift >= 0 && size_ < sizeof(line_); shift -= 4)
            line_[size_++] = "0123456789ABCDEF"[(value >> shift) & 0xF];
        return *this;
    }

    // Into the open log, if there is one.
    void write()
    {
        text("\r\n");
        const HANDLE log = openLogFile();
        DWORD written = 0;
        if (log)
            ::WriteFile(log, line_, static_cast<DWORD>(size_), &written, nullptr);
    }

private:
    char line_[200];
    size_t size_ = 0;
};

[[noreturn]] void endCrashed(CrashLine& line)
{
    line.text(kEnds).decimal(kCrashExitCode, 1).write();
    ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    // Not reached: TerminateProcess of the own process does not return.
    ::ExitProcess(kCrashExitCode);
}

LONG WINAPI onUnhandledFault(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    CrashLine line;
    line.text(kCrashed).hex(record.ExceptionCode, 8).text(kAt);
    line.hex(reinterpret_cast<uintptr_t>(record.ExceptionAddress), sizeof(void*) * 2);
    endCrashed(line);
}

[[noreturn]] void onUncaughtException()
{
    CrashLine line;
    line.text(kUncaught);
    endCrashed(line);
}

} // namespace

void endCrashesWithOwnCode()
{
    ::SetUnhandledExceptionFilter(onUnhandledFault);
    std::set_terminate(onUncaughtException);
}
