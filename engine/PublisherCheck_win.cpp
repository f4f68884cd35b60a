#include "engine/PublisherCheck.h"

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

namespace {

// The verification's state, released once whatever the outcome.
class TrustState {
public:
    explicit TrustState(const std::wstring& path) {
        file_.cbStruct = sizeof(file_);
        file_.pcwszFilePath = path.c_str();
        data_.cbStruct = sizeof(data_);
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;  // nothing fetched from the network
        result_ = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~TrustState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

    bool Accepted() const { return result_ == ERROR_SUCCESS; }
    const CRYPT_PROVIDER_SGNR* Signer() const {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
        return provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

private:
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = -1;
};

bool MaySignCode(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(cert, 0, nullptr, &size) || size == 0) return false;
    std::vector<BYTE> buffer(size);
    CERT_ENHKEY_USAGE* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!::CertGetEnhancedKeyUsage(cert, 0, usage, &size)) return false;
    // No usage at all would mean "any"; a code-signing certificate names it.
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0) return true;
    return false;
}

std::wstring SubjectName(PCCERT_CONTEXT cert) {
    const DWORD n = ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::vector<wchar_t> name(n);
    ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), n);
    return std::wstring(name.data());
}

}  // namespace

PublisherVerdict CheckPublisher(const std::wstring& path, const std::wstring& expectedName) {
    TrustState state(path);
    if (!state.Accepted()) return PublisherVerdict::kNotSigned;
    const CRYPT_PROVIDER_SGNR* signer = state.Signer();
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
        return PublisherVerdict::kNotSigned;
    const PCCERT_CONTEXT leaf = signer->pasCertChain[0].pCert;
    const PCCERT_CHAIN_CONTEXT chain = signer->pChainContext;
    if (!chain || chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) return PublisherVerdict::kUntrustedChain;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy, &status) ||
        status.dwError != ERROR_SUCCESS)
        return PublisherVerdict::kUntrustedChain;
    if (!MaySignCode(leaf)) return PublisherVerdict::kNotForCode;
    if (expectedName.empty() || SubjectName(leaf) != expectedName) return PublisherVerdict::kOtherPublisher;
    return PublisherVerdict::kTrusted;
}
