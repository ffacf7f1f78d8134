// What the main window does on its own controls: the close question, the
// directory row and its folder dialog, the percentage, minimising, and the
// start of the installed program.
#include "installer/UntMain.h"

#include "installer/InstallDir.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/util.h"
#include "ui/UntConfirmbox.h"

#include <string>

namespace {

constexpr wchar_t kQuitQuestion[] = L"您确定要退出安装吗?";
constexpr wchar_t kChooseFolder[] = L"请选择软件安装目录";

} // namespace

void TFrmCommInst::imgbtnCloseClick(TComponent*)
{
    if (ShowConfirmBox(kQuitQuestion))
        Close();
}

void TFrmCommInst::wndProc(TMessage& message)
{
    // The close button is disabled while an install or uninstall runs, so
    // that the user cannot end it halfway; Alt+F4 must not either.
    if (message.Msg == WM_CLOSE && !imgbtnClose->enabled())
        return;
    TCommLangForm::wndProc(message);
}

void TFrmCommInst::imgDownClick(TComponent*)
{
    FImgDown = !FImgDown;
    imgDown->setVisible(!FImgDown);
    imgUp->setVisible(FImgDown);
    setClientHeight(FImgDown ? kRowOpenHeight : kRowClosedHeight);
}

void TFrmCommInst::btnChangeInstallClick(TComponent*)
{
    std::wstring folder;
    if (!browseForFolder(handle(), kChooseFolder, folder))
        return;
    // Neither created nor checked here: the install does both.
    edtPath->setText(joinPath(folder, FRun.config()->ProgramDirName));
}

void TFrmCommInst::pbProgressChange(TComponent*)
{
    lblPercentNum->setCaption(std::to_wstring(pbProgress->position()) + L"%");
}

void TFrmCommInst::lblMinimizeClick(TComponent*)
{
    ::PostMessageW(handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void TFrmCommInst::startMainProgram()
{
    // As the install starts it: with the desktop's rights, not the elevated
    // uninstaller's, in its own folder, quoted for a path with blanks.
    if (const TConfigFile* config = FRun.config())
        runAsDesktopUser(L"\"" + getExeDir() + config->MainProg + L"\"", false, true, getExeDir(), false);
}
