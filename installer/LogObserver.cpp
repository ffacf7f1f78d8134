#include "installer/LogObserver.h"

#include "net/HttpClient.h"
#include "system/Encoding.h"
#include "system/WinError.h"

#include <cwctype>

namespace {

constexpr wchar_t kStep[] = L"step: ";
constexpr wchar_t kQuestion[] = L"question: ";
constexpr wchar_t kAnswer[] = L" answer: ";
constexpr wchar_t kYes[] = L"yes";
constexpr wchar_t kNo[] = L"no";
constexpr wchar_t kMessage[] = L"message: ";
constexpr wchar_t kError[] = L"error (";
constexpr wchar_t kRequest[] = L"request: GET ";
constexpr wchar_t kOutcome[] = L"outcome: ";
constexpr wchar_t kStarted[] = L", the product was started";
constexpr wchar_t kNotStarted[] = L", the product was not started";
constexpr wchar_t kEntriesMissing[] = L" package entries missing";
constexpr wchar_t kMissing[] = L"missing: ";
constexpr wchar_t kExitCode[] = L"exit code: ";
constexpr wchar_t kThroughProxy[] = L", through the proxy ";
constexpr wchar_t kHidden[] = L"?<hidden>";
constexpr std::wstring_view kSchemeMark = L"://";

const wchar_t* stageName(Stage stage)
{
    switch (stage) {
    case Stage::ReadingPackageInfo:
        return L"reading the package information";
    case Stage::CheckingOnline:
        return L"asking the service for the package";
    case Stage::CheckingEnvironment:
        return L"checking the system";
    case Stage::Installing:
        return L"obtaining the package";
    case Stage::Registering:
        return L"registering the product";
    case Stage::Installed:
        return L"installed";
    case Stage::Removing:
        return L"removing the product";
    case Stage::Removed:
        return L"removed";
    }
    return L"";
}

const wchar_t* questionText(Question question)
{
    switch (question) {
    case Question::RetryServiceQuery:
        return L"no package link: ask the service again?";
    }
    return L"";
}

const wchar_t* kindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::Service:
        return L"service";
    case ErrorKind::Download:
        return L"download";
    case ErrorKind::Package:
        return L"package";
    case ErrorKind::Registry:
        return L"registry";
    case ErrorKind::Shortcut:
        return L"shortcut";
    case ErrorKind::Process:
        return L"process";
    case ErrorKind::File:
        return L"file";
    case ErrorKind::Unexpected:
        return L"unexpected";
    }
    return L"";
}

const wchar_t* resultName(InstallResult result)
{
    switch (result) {
    case InstallResult::Installed:
        return L"installed";
    case InstallResult::NoPackageLink:
        return L"no package link";
    case InstallResult::NoSpace:
        return L"not enough free space";
    case InstallResult::HttpsRefused:
        return L"https link refused";
    case InstallResult::BrokenArchive:
        return L"the package is no readable zip archive";
    case InstallResult::DownloadFailed:
        return L"the package download failed";
    case InstallResult::EmbeddedPackageUnwritable:
        return L"the installer's own package could not be written";
    case InstallResult::RegistrationFailed:
        return L"the registration failed";
    case InstallResult::NotRun:
        return L"not run";
    case InstallResult::PackageNotTrusted:
        return L"the package failed its signature check";
    case InstallResult::FileNotReplaced:
        return L"a file in the installation folder could not be replaced";
    case InstallResult::Unexpected:
        return L"stopped by an unexpected error";
    case InstallResult::LinkedInstallFolder:
        return L"the default installation folder is a link";
    }
    return L"";
}

const wchar_t* reasonText(TSkipReason reason)
{
    switch (reason) {
    case TSkipReason::UnsafeName:
        return L"a name that would leave the installation folder or that Windows does not allow";
    case TSkipReason::UnknownMethod:
        return L"an unknown compression or encryption method";
    case TSkipReason::WrongPassword:
        return L"the password does not open it";
    case TSkipReason::Damaged:
        return L"damaged";
    case TSkipReason::NotReplaced:
        return L"a file of that name was there and could not be replaced";
    case TSkipReason::Unwritable:
        return L"cannot be written";
    case TSkipReason::LinkedFolder:
        return L"a folder on its way is a link or cannot be made";
    }
    return L"";
}

// "[5] Access is denied." for a system error.
std::wstring systemError(DWORD code) { return L"[" + std::to_wstring(code) + L"] " + win::systemMessage(code); }

std::wstring requestLine(const net::RequestRecord& record)
{
    std::wstring text = kRequest + win::fromUtf8(record.url) + L" -> ";
    text += record.status >= 0 ? std::to_wstring(record.status) : L"failed (" + win::fromUtf8(record.error) + L")";
    text += L", " + std::to_wstring(record.bytes) + L" bytes, " + std::to_wstring(record.duration.count()) + L" ms";
    return record.proxy.empty() ? text : text + kThroughProxy + win::fromUtf8(record.proxy);
}

bool endsAddress(wchar_t c) { return std::iswspace(c) || c == L'"' || c == L'\'' || c == L'<' || c == L'>'; }

} // namespace

LogObserver::LogObserver(std::shared_ptr<LogFile> log, SequenceObserver& next) : log_(std::move(log)), next_(next)
{
    // The download worker's requests come from its own thread: the file
    // takes lines from any thread.
    net::setRequestListener(
        [file = log_](const net::RequestRecord& record) { file->line(withoutSecrets(requestLine(record))); });
}

LogObserver::~LogObserver() { net::setRequestListener(nullptr); }

void LogObserver::write(const std::wstring& text) { log_->line(withoutSecrets(text)); }

void LogObserver::stage(Stage stage)
{
    write(kStep + std::wstring(stageName(stage)));
    next_.stage(stage);
}

void LogObserver::progress(int percent) { next_.progress(percent); }

void LogObserver::detail(const std::wstring& text)
{
    write(text);
    next_.detail(text);
}

bool LogObserver::ask(Question question)
{
    const bool answer = next_.ask(question);
    write(kQuestion + std::wstring(questionText(question)) + kAnswer + (answer ? kYes : kNo));
    return answer;
}

// Written before it is shown: a box that nobody answers still leaves its text.
void LogObserver::message(const Message& message)
{
    write(kMessage + message.text);
    next_.message(message);
}

void LogObserver::error(const SequenceError& error)
{
    std::wstring text = kError + std::wstring(kindName(error.kind)) + L"): " + error.what;
    if (error.code != 0)
        text += L": " + systemError(error.code);
    if (!error.detail.empty())
        text += L": " + error.detail;
    write(text);
    next_.error(error);
}

void LogObserver::outcome(const InstallOutcome& outcome)
{
    std::wstring text = kOutcome + std::wstring(resultName(outcome.result));
    if (outcome.result == InstallResult::Installed)
        text += outcome.productStarted ? kStarted : kNotStarted;
    if (!outcome.skipped.empty())
        text += L"; " + std::to_wstring(outcome.skipped.size()) + kEntriesMissing;
    write(text);
    for (const TSkippedEntry& entry : outcome.skipped) {
        std::wstring line = kMissing + entry.name + L" (" + reasonText(entry.reason);
        if (entry.error != 0)
            line += L": " + systemError(entry.error);
        write(line + L")");
    }
    next_.outcome(outcome);
}

void LogObserver::exitCode(int code) { write(kExitCode + std::to_wstring(code)); }

std::wstring LogObserver::withoutSecrets(std::wstring_view text)
{
    std::wstring out;
    size_t at = 0;
    for (size_t mark; (mark = text.find(kSchemeMark, at)) != std::wstring_view::npos;) {
        size_t end = mark + kSchemeMark.size();
        while (end < text.size() && !endsAddress(text[end]))
            ++end;
        std::wstring_view rest = text.substr(mark + kSchemeMark.size(), end - mark - kSchemeMark.size());
        // user:password@host
        const size_t pathStart = rest.find_first_of(L"/?#");
        const size_t user = rest.substr(0, pathStart).rfind(L'@');
        if (user != std::wstring_view::npos)
            rest.remove_prefix(user + 1);
        const size_t query = rest.find_first_of(L"?#");
        out.append(text.substr(at, mark + kSchemeMark.size() - at)).append(rest.substr(0, query));
        if (query != std::wstring_view::npos)
            out.append(kHidden);
        at = end;
    }
    return out.append(text.substr(at));
}
