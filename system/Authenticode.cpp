#include "system/Authenticode.h"

#include "system/Handles.h"

#include <mbedtls/sha256.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>

namespace {

// Not imported: only DLLs that Windows always takes from its own folder
// are, anything else is loaded by its full path there.
constexpr wchar_t kWinTrustDll[] = L"\\wintrust.dll";
constexpr wchar_t kCrypt32Dll[] = L"\\crypt32.dll";
constexpr char kWinVerifyTrust[] = "WinVerifyTrust";
constexpr char kProvDataFromStateData[] = "WTHelperProvDataFromStateData";
constexpr char kProvSignerFromChain[] = "WTHelperGetProvSignerFromChain";
constexpr char kVerifyChainPolicy[] = "CertVerifyCertificateChainPolicy";
constexpr char kGetNameString[] = "CertGetNameStringW";

constexpr wchar_t kMicrosoftSigner[] = L"Microsoft Corporation";
constexpr char kCommentMark = '#';
constexpr std::string_view kLineSpace = " \t\r";

// What an unreachable revocation list leaves in the chain, and only that.
constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

using WinVerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, void*);
using ProvDataFunction = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFunction = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using ChainPolicyFunction = BOOL(WINAPI*)(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA,
                                          PCERT_CHAIN_POLICY_STATUS);
using NameStringFunction = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

win::Module loadSystemDll(const wchar_t* name)
{
    wchar_t system[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    const std::wstring path = std::wstring(system, n) + name;
    // Its own imports are looked up beside it, in the system folder.
    return win::Module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

template <typename Function>
Function function(const win::Module& module, const char* name)
{
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name))) : nullptr;
}

bool hexDigit(char c, unsigned char& value)
{
    if (c >= '0' && c <= '9')
        value = static_cast<unsigned char>(c - '0');
    else if (c >= 'a' && c <= 'f')
        value = static_cast<unsigned char>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        value = static_cast<unsigned char>(c - 'A' + 10);
    else
        return false;
    return true;
}

CertificateDigest digestOf(const CERT_CONTEXT& certificate)
{
    CertificateDigest digest{};
    mbedtls_sha256_ret(certificate.pbCertEncoded, certificate.cbCertEncoded, digest.data(), 0);
    return digest;
}

// The signer's certificate and chain, as WinVerifyTrust checked them.
struct Signer {
    PCCERT_CONTEXT certificate = nullptr;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
};

class SignerCheck {
public:
    SignerCheck()
        : wintrust_(loadSystemDll(kWinTrustDll)), crypt32_(loadSystemDll(kCrypt32Dll)),
          verify_(function<WinVerifyTrustFunction>(wintrust_, kWinVerifyTrust)),
          provData_(function<ProvDataFunction>(wintrust_, kProvDataFromStateData)),
          provSigner_(function<ProvSignerFunction>(wintrust_, kProvSignerFromChain)),
          chainPolicy_(function<ChainPolicyFunction>(crypt32_, kVerifyChainPolicy)),
          nameString_(function<NameStringFunction>(crypt32_, kGetNameString))
    {
    }

    bool ready() const { return verify_ && provData_ && provSigner_ && chainPolicy_ && nameString_; }

    // The verification's state stays open until the signer has been read.
    LONG verify(WINTRUST_DATA& data)
    {
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        return verify_(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data);
    }
    void close(WINTRUST_DATA& data)
    {
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        verify_(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data);
    }

    bool signerOf(const WINTRUST_DATA& data, Signer& signer) const
    {
        CRYPT_PROVIDER_DATA* provider = provData_(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* first = provider ? provSigner_(provider, 0, FALSE, 0) : nullptr;
        if (!first || first->csCertChain == 0 || !first->pasCertChain || !first->pasCertChain[0].pCert)
            return false;
        signer.certificate = first->pasCertChain[0].pCert;
        signer.chain = first->pChainContext;
        return true;
    }

    bool isMicrosoft(const Signer& signer) const
    {
        wchar_t name[128] = {};
        nameString_(signer.certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name,
                    ARRAYSIZE(name));
        if (std::wstring_view(name) != kMicrosoftSigner || !signer.chain)
            return false;
        CERT_CHAIN_POLICY_PARA para{};
        para.cbSize = sizeof(para);
        // Also the root of Microsoft's newer signing chains.
        para.dwFlags = MICROSOFT_ROOT_CERT_CHAIN_POLICY_CHECK_APPLICATION_ROOT_FLAG;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof(status);
        return chainPolicy_(CERT_CHAIN_POLICY_MICROSOFT_ROOT, signer.chain, &para, &status) && status.dwError == 0;
    }

private:
    win::Module wintrust_, crypt32_;
    WinVerifyTrustFunction verify_;
    ProvDataFunction provData_;
    ProvSignerFunction provSigner_;
    ChainPolicyFunction chainPolicy_;
    NameStringFunction nameString_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
};

// Revocation could not be checked (no network, list server down) and the
// chain has no other fault.
bool onlyRevocationUnknown(LONG status, const Signer& signer)
{
    return (status == CERT_E_REVOCATION_FAILURE || status == CRYPT_E_REVOCATION_OFFLINE ||
            status == CRYPT_E_NO_REVOCATION_CHECK) &&
           signer.chain && (signer.chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown) == 0;
}

} // namespace

bool parseCertificateDigests(std::string_view text, std::vector<CertificateDigest>& digests)
{
    std::vector<CertificateDigest> read;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line.remove_prefix(std::min(line.find_first_not_of(kLineSpace), line.size()));
        line = line.substr(0, line.find_last_not_of(kLineSpace) + 1);
        if (line.empty() || line.front() == kCommentMark)
            continue;
        CertificateDigest digest{};
        if (line.size() != digest.size() * 2)
            return false;
        for (size_t i = 0; i < digest.size(); ++i) {
            unsigned char high = 0, low = 0;
            if (!hexDigit(line[2 * i], high) || !hexDigit(line[2 * i + 1], low))
                return false;
            digest[i] = static_cast<unsigned char>(high << 4 | low);
        }
        read.push_back(digest);
    }
    digests = std::move(read);
    return true;
}

bool isSignerPinned(const std::wstring& file, const std::vector<CertificateDigest>& allowed, LONG& status)
{
    SignerCheck check;
    // Checked through a handle that keeps writers out until the answer.
    const win::FileHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!check.ready() || !handle) {
        status = static_cast<LONG>(HRESULT_FROM_WIN32(::GetLastError()));
        return false;
    }
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = file.c_str();
    fileInfo.hFile = handle.get();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // Every certificate below the root; the root is trusted by being in
    // the system's store, and carries no revocation information.
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    status = check.verify(data);
    Signer signer;
    const bool read = check.signerOf(data, signer);
    if (read && onlyRevocationUnknown(status, signer))
        status = 0;
    bool pinned = false;
    if (status == 0 && read)
        pinned = allowed.empty()
                     ? check.isMicrosoft(signer)
                     : std::find(allowed.begin(), allowed.end(), digestOf(*signer.certificate)) != allowed.end();
    check.close(data);
    if (status == 0 && !pinned)
        status = TRUST_E_SUBJECT_NOT_TRUSTED;
    return status == 0;
}
