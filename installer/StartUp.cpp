#include "installer/StartUp.h"

#include "installer/SilentObserver.h"
#include "net/api.h"
#include "system/Encoding.h"
#include "system/MyZip.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Resource.h"
#include "system/util.h"
#include "ui/Forms.h"

#include <windows.h>

#include <exception>
#include <utility>

namespace {

constexpr wchar_t kStartCaption[] = L"Install";
constexpr wchar_t kConfigResource[] = L"configfile";
constexpr wchar_t kConfigEmpty[] = L"config data is empty";
constexpr wchar_t kOldWindows[] = L"当前版本只支持Win7及以上的版本, XP系统无法兼容!";
constexpr wchar_t kStarted[] = L"started: ";
constexpr wchar_t kInstallMode[] = L", install mode";
constexpr wchar_t kUninstallMode[] = L", uninstall mode";
constexpr wchar_t kSilentRun[] = L", silent automatic install";
constexpr wchar_t kVisibleRun[] = L", visible automatic install";
constexpr wchar_t kSilentUninstall[] = L", silent uninstall";
constexpr wchar_t kProduct[] = L"product: ";
constexpr wchar_t kWhatStopRunning[] = L"stopping the running ";

} // namespace

StartInputs programStartInputs()
{
    StartInputs inputs;
    inputs.exeFileName = getExeFileName();
    inputs.args = programArguments();
    if (resourceExists(kConfigResource, kFileResourceType) &&
        !loadResourceText(kConfigResource, kFileResourceType, true, inputs.configText))
        inputs.configText.clear();
    inputs.vistaOrLater = isVistaOrLater();
    return inputs;
}

SequenceObserver& RunContext::observer() const
{
    if (log_)
        return *log_;
    return *person_;
}

int RunContext::exitCode() const
{
    return installMode_ ? ::exitCode(automaticInstall(), installOutcome)
                        : uninstallExitCode(silentUninstall(), uninstallResult);
}

void RunContext::finish()
{
    destroyProcessAPI();
    if (log_)
        log_->exitCode(exitCode());
}

StartUp::StartUp(StartInputs inputs, SequenceObserver& interactive)
    : inputs_(std::move(inputs)), interactive_(interactive), commandLine_(parseCommandLine(inputs_.args))
{
    // The mode is known from the file name alone; the automatic-install
    // switches only mean something to the installer, "/autouninst" only to
    // the uninstaller.
    run_.installMode_ = inputs_.exeFileName != kUninstallerName;
    run_.automatic_ = honouredSwitch(commandLine_, run_.installMode_);
}

bool StartUp::run()
{
    Application.setTitle(kStartCaption);
    const bool installMode = run_.installMode_;
    std::wstring configError;
    try {
        if (!inputs_.configText.empty()) {
            run_.config_ = std::make_unique<TConfigFile>(inputs_.configText, installMode);
            if (installMode)
                storeSource(*run_.config_);
        }
    } catch (const std::exception& e) {
        // Not a usable configuration, or its source could not be stored:
        // nothing can be installed or removed with it.
        run_.config_.reset();
        configError = win::fromUtf8(e.what());
    }
    setUpObservers();
    if (inputs_.configText.empty())
        return refuse(kConfigEmpty);
    if (!run_.config_)
        return refuse(configError);
    const TConfigFile& config = *run_.config_;
    // The service's answers are waited for while the window handles its
    // messages: it keeps painting, and its close button works.
    createProcessAPI(config.FromSource, config.SoftId, [] { return Application.handleMessage(); });

    if (installMode) {
        if (!config.XPSupported && !inputs_.vistaOrLater)
            return refuse(kOldWindows);
        prepareInstallFolder();
        // No version has come from the service yet: the report carries none.
        // It goes out in the background: nothing waits for it.
        processAPI()->ReportPreInstall();
    }

    if (!config.MainProg.empty() && !killProcessByName(config.MainProg))
        run_.observer().error({ErrorKind::Process, kWhatStopRunning + config.MainProg, ::GetLastError()});
    return true;
}

void StartUp::setUpObservers()
{
    if (run_.silent()) {
        run_.silentObserver_ = std::make_unique<SilentObserver>();
        run_.person_ = run_.silentObserver_.get();
    } else {
        run_.person_ = &interactive_;
    }
    if (!commandLine_.log)
        return;
    const TConfigFile* config = run_.config();
    const bool installMode = run_.installMode_;
    const std::wstring name = config ? config->SoftId : inputs_.exeFileName;
    const std::wstring path = commandLine_.logPath.empty() ? defaultLogPath(name, installMode) : commandLine_.logPath;
    // Without its file the run goes on unrecorded.
    auto file = LogFile::create(path);
    if (!file)
        return;
    run_.log_ = std::make_unique<LogObserver>(std::move(file), *run_.person_);
    std::wstring started = kStarted + inputs_.exeFileName + (installMode ? kInstallMode : kUninstallMode);
    if (run_.silentInstall())
        started += kSilentRun;
    else if (run_.automaticInstall())
        started += kVisibleRun;
    else if (run_.silentUninstall())
        started += kSilentUninstall;
    run_.log_->detail(started);
    if (config)
        run_.log_->detail(kProduct + config->SoftId + L" " + config->Version);
}

bool StartUp::refuse(const std::wstring& text)
{
    run_.observer().message({text});
    return false;
}

void StartUp::prepareInstallFolder()
{
    // The default folder exists from the start, before the user has chosen
    // anything; the install creates whichever folder is finally chosen.
    try {
        run_.defaultFolder_ = joinPath(getLocalAppDataDir(), run_.config_->ProgramDirName);
        createFolders(run_.defaultFolder_);
    } catch (const std::exception&) {
        // No local application-data folder: the user picks a folder.
    }
}
