#include "services/RootCertificate.h"

#include "BuiltInAddresses.h"
#include "framework/Array.h"
#include "framework/Exception.h"
#include "framework/Internet.h"
#include "framework/String.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "services/InstallerException.h"
#include "services/ProductNames.h"
#include "services/RunCancellation.h"

#include <wincrypt.h>

#include <memory>
#include <new>

namespace {

constexpr UINT kReadSize = 4096;
// A root certificate is a few kilobytes; a body this large cannot match the pin anyway.
constexpr INT_PTR kMaximumCertificateSize = 1024 * 1024;

// Frees a certificate context on every path.
class CCertificateContext {
public:
    explicit CCertificateContext(PCCERT_CONTEXT context = nullptr) : m_pContext(context) {}
    ~CCertificateContext() { Free(); }
    CCertificateContext(const CCertificateContext&) = delete;
    CCertificateContext& operator=(const CCertificateContext&) = delete;

    PCCERT_CONTEXT Get() const { return m_pContext; }
    PCCERT_CONTEXT operator->() const { return m_pContext; }
    explicit operator bool() const { return m_pContext != nullptr; }
    // Hands the context to a call that frees it (CertEnumCertificatesInStore).
    PCCERT_CONTEXT Detach()
    {
        PCCERT_CONTEXT context = m_pContext;
        m_pContext = nullptr;
        return context;
    }
    void Reset(PCCERT_CONTEXT context)
    {
        Free();
        m_pContext = context;
    }

private:
    void Free()
    {
        if (m_pContext) ::CertFreeCertificateContext(m_pContext);
        m_pContext = nullptr;
    }

    PCCERT_CONTEXT m_pContext;
};

// Closes a certificate store on every path.
class CCertificateStore {
public:
    explicit CCertificateStore(HCERTSTORE store) : m_hStore(store) {}
    ~CCertificateStore()
    {
        if (m_hStore) ::CertCloseStore(m_hStore, 0);
    }
    CCertificateStore(const CCertificateStore&) = delete;
    CCertificateStore& operator=(const CCertificateStore&) = delete;

    operator HCERTSTORE() const { return m_hStore; }   // NOLINT: passes where a store is expected

private:
    HCERTSTORE m_hStore;
};

// A CryptoAPI SHA-256 computation; the provider and the hash object are released on every path.
class CSha256 {
public:
    CSha256()
    {
        if (!::CryptAcquireContextW(&m_hProvider, nullptr, nullptr, PROV_RSA_AES,
                                    CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
            m_hProvider = 0;
            ThrowInstallerException(L"Can not acquire cryptographic context.");
        }
        if (!::CryptCreateHash(m_hProvider, CALG_SHA_256, 0, 0, &m_hHash)) {
            m_hHash = 0;
            ::CryptReleaseContext(m_hProvider, 0);
            ThrowInstallerException(L"Can not create hash.");
        }
    }
    ~CSha256()
    {
        ::CryptDestroyHash(m_hHash);
        ::CryptReleaseContext(m_hProvider, 0);
    }
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // Lowercase hexadecimal digest of the bytes.
    CString HexDigest(const BYTE* data, DWORD length)
    {
        if (!::CryptHashData(m_hHash, data, length, 0)) ThrowInstallerException(L"Can not add data to hash.");
        BYTE digest[32];
        DWORD digestLength = sizeof(digest);
        if (!::CryptGetHashParam(m_hHash, HP_HASHVAL, digest, &digestLength, 0))
            ThrowInstallerException(L"Can not get hash value.");
        CString hex;
        for (DWORD i = 0; i < digestLength; ++i) hex.AppendFormat(L"%02x", digest[i]);
        return hex;
    }

private:
    HCRYPTPROV m_hProvider = 0;
    HCRYPTHASH m_hHash = 0;
};

void DownloadCertificate(CByteArray& bytes)
{
    CString agent;
    agent.Format(IDS_INSTALLER_AGENT_FORMAT, kCompanyName, kProductName);
    const CString url = CString(L"http://") + FETCHWRIGHT_DOWNLOAD_HOST + L"/software/prerequisites/kelvaraca-x509.cer";

    CInternetSession session(agent, 1, PRE_CONFIG_INTERNET_ACCESS, nullptr, nullptr, 0);
    std::unique_ptr<CHttpFile> response(session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII, nullptr, 0));
    BYTE buffer[kReadSize];
    for (;;) {
        const UINT read = response->Read(buffer, kReadSize);
        if (read == 0) break;
        const INT_PTR oldSize = bytes.GetSize();
        if (oldSize + static_cast<INT_PTR>(read) > kMaximumCertificateSize)
            ThrowInstallerException(L"Downloaded certificate is too large.");
        bytes.SetSize(oldSize + read);
        CopyMemory(bytes.GetData() + oldSize, buffer, read);
    }
    response->Close();
    session.Close();
}

// Only the certificate the installer was built for may become a trusted root: an error page,
// a substituted certificate or a tampered one ends here.
bool IsPinnedCertificate(const CByteArray& bytes)
{
    CSha256 hash;
    return hash.HexDigest(bytes.GetData(), static_cast<DWORD>(bytes.GetSize())) == FETCHWRIGHT_ROOT_CERT_SHA256;
}

// The serial number alone identifies the certificate: issuer, subject and thumbprint do not count.
bool StoreHasSerialNumber(HCERTSTORE store, const CRYPT_INTEGER_BLOB& serialNumber)
{
    CRYPT_INTEGER_BLOB wanted = serialNumber;
    CCertificateContext entry;
    for (;;) {
        entry.Reset(::CertEnumCertificatesInStore(store, entry.Detach()));
        if (!entry) return false;
        if (::CertCompareIntegerBlob(&wanted, &entry->pCertInfo->SerialNumber)) return true;
    }
}

void ShowInstallationNotice(HWND owner)
{
    CString text;
    text.Format(L"%s will now install %s certificate to this computer. It is required for your security, and it will "
                L"allow your computer to check %s products digital signatures and verify if they are original and "
                L"secure. Windows will now ask you if you agree to install %s certificate to this computer, please "
                L"click Yes.",
                kProductName, kCompanyName, kCompanyName, kCompanyName);
    CString caption;
    caption.Format(IDS_WINDOW_TITLE_FORMAT, kCompanyName, kProductName);
    Platform().ShowMessageBox(owner, text, caption, MB_OK);
}

bool InstallDownloadedCertificate(HWND owner, const CByteArray& bytes)
{
    const DWORD length = static_cast<DWORD>(bytes.GetSize());
    // Flags 0: the context keeps its own copy of the bytes.
    CCertificateContext downloaded(static_cast<PCCERT_CONTEXT>(
        ::CertCreateContext(CERT_STORE_CERTIFICATE_CONTEXT, X509_ASN_ENCODING, bytes.GetData(), length, 0, nullptr)));
    if (!downloaded) ThrowInstallerException(L"Can not create downloaded certificate context.");

    CCertificateStore store(::CertOpenSystemStoreW(0, L"ROOT"));
    if (!store) ThrowInstallerException(L"Can not open root certificates store.");
    if (StoreHasSerialNumber(store, downloaded->pCertInfo->SerialNumber)) return true;

    // After Cancel the run may neither ask the user anything nor change the computer.
    if (IsRunCancelled()) return false;
    ShowInstallationNotice(owner);
    if (IsRunCancelled()) return false;
    if (!::CertAddEncodedCertificateToSystemStoreW(L"ROOT", bytes.GetData(), length))
        ThrowInstallerException(L"Can not add certificate to root certificates store.");
    return true;
}

}  // namespace

bool InstallRootCertificate(HWND owner)
{
    if (IsRunCancelled()) return false;
    try {
        CByteArray bytes;
        DownloadCertificate(bytes);
        if (!IsPinnedCertificate(bytes)) return false;
        return InstallDownloadedCertificate(owner, bytes);
    } catch (CException* e) {
        e->Delete();
        return false;
    } catch (const std::bad_alloc&) {   // a CString that cannot grow
        return false;
    }
}
