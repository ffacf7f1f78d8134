// TFrmDownFramework: the small modal window that downloads the .NET
// Framework installer into the run's private folder, shows its progress and
// then starts it, if the system trusts its signature and its signer is
// pinned (Microsoft, or the product folder's own list).
#pragma once

#include "net/UDownThread.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"

#include <cstdint>
#include <string>

class TFrmDownFramework : public TCommLangForm {
public:
    // Builds the window and starts the download of FRAMEWORKURL; the caller
    // shows it modally and destroys it when the modal loop ends.
    explicit TFrmDownFramework(const std::wstring& frameworkUrl);
    std::wstring_view className() const override { return L"TFrmDownFramework"; }
    static const FormDesign& design();

    TLabel* lblDesc;
    TLabel* lblDownloadProcess;
    TProgressBar* pbProgress;
    TLabel* lblClickLink;
    TLinkLabel* LinkLabel1;

    void FormShow(TComponent* Sender);
    void idhtp1WorkBegin(TDownThread* Sender, int64_t AWorkCountMax);
    void idhtp1Work(TDownThread* Sender, int64_t AWorkCount);
    void idhtp1WorkFinish(TDownThread* Sender, int64_t ResponseCode);

    // Where the installer is downloaded to.
    const std::wstring& exeAddr() const { return FExeAddr; }

private:
    // Announced total in bytes; 64 bits, so that no size reads as negative.
    int64_t FMaxProcess = 0;
    std::wstring FFrameworkUrl;
    std::wstring FExeAddr;
    // The download ended before the window was shown (a start that failed
    // at once): showing it then closes it straight away.
    bool finished_ = false;
    // Closing the window early (Esc) leaves its download running; the link
    // drops what that download reports after the window is gone.
    TDownloadLink link_;
};
