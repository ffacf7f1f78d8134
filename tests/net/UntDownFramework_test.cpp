#include "net/UntDownFramework.h"

#include "system/PrivateTempDir.h"
#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "ui/UntMsgBox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

constexpr wchar_t kAboutToInstall[] =
    L"即将开始安装Windows.NetFramework组件（该过程大约耗时2分钟），请您在新弹出的窗口中点击“安装”继续安装。";
constexpr wchar_t kNotTrusted[] =
    L"下载的Windows.NetFramework组件安装程序未通过系统的数字签名验证，可能已被篡改，不会运行！请从微软官方网站手动下载安装。";

// Runs WATCH every 20 ms on this thread while a window of the test is modal
// (the timer fires inside the modal loops), and answers each message box the
// window shows: its text is recorded, then OK is pressed.
class ModalWatch {
public:
    explicit ModalWatch(std::function<void()> watch = {}) : watch_(std::move(watch))
    {
        current() = this;
        timer_ = ::SetTimer(nullptr, 0, 20, tick);
    }
    ~ModalWatch()
    {
        ::KillTimer(nullptr, timer_);
        current() = nullptr;
    }
    std::vector<std::wstring> texts;
    // Called with each box before it is answered.
    std::function<void()> onBox;

private:
    static ModalWatch*& current()
    {
        static ModalWatch* watch = nullptr;
        return watch;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalWatch* self = current();
        if (!self)
            return;
        if (self->watch_)
            self->watch_();
        for (TForm* f : Application.forms()) {
            auto* box = dynamic_cast<TFrmMsgBox*>(f);
            if (box && box->modal() && box->modalResult() == mrNone) {
                self->texts.push_back(box->lblMsg->caption());
                if (self->onBox)
                    self->onBox();
                box->btnOKClick(box);
            }
        }
    }
    std::function<void()> watch_;
    UINT_PTR timer_ = 0;
};

class FrameworkWindowTest : public ::testing::Test {
protected:
    // Where the started installer leaves its mark: one test's start is not
    // another's.
    const std::filesystem::path mark_ = privateTempPath(L"DotNetFramework.exe.mark");
    void SetUp() override
    {
        std::error_code ignored;
        std::filesystem::remove(mark_, ignored);
    }

    std::wstring url(const std::string& path) const { return server_.worigin() + std::wstring(path.begin(), path.end()); }

    // Serves BODY at PATH.
    void serve(const std::string& path, const std::string& body)
    {
        server_.on(path, [body](const LoopbackRequest&) {
            LoopbackReply reply;
            reply.contentType = "application/octet-stream";
            reply.body = body;
            return reply;
        });
    }

    LoopbackServer server_;
};

TEST_F(FrameworkWindowTest, BarFollowsTheBytesThenTheInstallerStartsAfterTheMessage)
{
    // The mark helper, padded to 10 MB and signed, stands in for the
    // framework installer.
    const std::string body = readFile(getExeDir() + L"signed_helper_10mb.exe");
    const size_t total = body.size(), half = total / 2;
    std::atomic<bool> halfSent{false}, release{false};
    server_.on("/ndp.exe", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/octet-stream";
        reply.length = total;
        reply.stream = [&](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (offset == half) {
                halfSent = true;
                for (int i = 0; i < 2000 && !release; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            const uint64_t end = offset < half ? half : total;
            return write(body.data() + offset, static_cast<size_t>(std::min<uint64_t>(end - offset, 65536)));
        };
        return reply;
    });

    const auto form = makeForm<TFrmDownFramework>(url("/ndp.exe"));
    EXPECT_EQ(form->pbProgress->position(), 20);
    const std::filesystem::path installer = privateTempPath(L"DotNetFramework.exe");
    EXPECT_EQ(form->exeAddr(), installer.wstring());

    int highestBeforeHalf = 0;
    bool markBeforeMessage = true;
    ModalWatch watch([&] {
        if (!release) {
            highestBeforeHalf = std::max(highestBeforeHalf, form->pbProgress->position());
            if (halfSent && form->pbProgress->position() == 60)
                release = true;
        }
    });
    watch.onBox = [&] { markBeforeMessage = std::filesystem::exists(mark_); };
    form->ShowModal();

    EXPECT_EQ(highestBeforeHalf, 60) << "half of the bytes shows 60, and no more";
    EXPECT_EQ(form->pbProgress->position(), 100);
    EXPECT_EQ(watch.texts, std::vector<std::wstring>{kAboutToInstall});
    EXPECT_FALSE(markBeforeMessage) << "the installer starts only after the message";
    ASSERT_TRUE(waitForFile(mark_));
    const std::string record = readFile(mark_);
    const std::string folder = installer.parent_path().string();
    EXPECT_EQ(_stricmp(record.substr(0, record.find('\n')).c_str(), folder.c_str()), 0)
        << "started in its own folder: " << record;
}

TEST_F(FrameworkWindowTest, FailedDownloadOrUntrustedOrUnpinnedInstallerSaysSoAndStartsNothing)
{
    std::string changed = readFile(getExeDir() + L"signed_helper.exe");
    changed[changed.size() / 2] ^= 1;
    serve("/unsigned.exe", readFile(markHelperPath()));
    serve("/changed.exe", changed);
    // Signed, unchanged, but by a certificate the product does not pin.
    serve("/other.exe", readFile(getExeDir() + L"other_signed_helper.exe"));
    const struct {
        const char* path;
        const wchar_t* message;
    } cases[] = {
        {"/missing.exe", L"下载失败!"},
        {"/unsigned.exe", kNotTrusted},
        {"/changed.exe", kNotTrusted},
        {"/other.exe", kNotTrusted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto form = makeForm<TFrmDownFramework>(url(c.path));
        ModalWatch watch;
        form->ShowModal();
        EXPECT_EQ(watch.texts, std::vector<std::wstring>{c.message});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(std::filesystem::exists(mark_));
    }
}

TEST_F(FrameworkWindowTest, WithoutAnnouncedTotalTheBarStaysAtTwenty)
{
    const std::string body(300000, 'x');
    server_.on("/chunked", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.stream = [&](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (offset >= body.size())
                return false;
            return write(body.data() + offset, std::min<size_t>(30000, body.size() - offset));
        };
        return reply;
    });
    const auto form = makeForm<TFrmDownFramework>(url("/chunked"));
    int highest = 0;
    ModalWatch watch([&] { highest = std::max(highest, form->pbProgress->position()); });
    watch.onBox = [&] { highest = std::max(highest, form->pbProgress->position()); };
    form->ShowModal();
    EXPECT_EQ(highest, 20);
    EXPECT_EQ(watch.texts.size(), 1u);
}

TEST_F(FrameworkWindowTest, EscDuringTheDownloadLeavesItsEndUnnoticed)
{
    std::atomic<bool> started{false};
    server_.on("/slow.exe", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.length = 1000;
        reply.stream = [&](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (offset == 0) {
                started = true;
                return write("MZ", 2);
            }
            // Ends the download with a failure well after the window is gone.
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            return false;
        };
        return reply;
    });
    FormPtr<TFrmDownFramework> form = makeForm<TFrmDownFramework>(url("/slow.exe"));
    ModalWatch watch([&] {
        if (form && started && form->modal())
            ::PostMessageW(form->handle(), WM_CHAR, VK_ESCAPE, 0);
    });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    form.reset();
    // The worker's failure arrives now; nothing may be shown or touched.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < until) {
        Application.processMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(watch.texts.empty());
}

} // namespace
