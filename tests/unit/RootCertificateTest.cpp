// The root certificate against the local server (through this prefix's proxy settings) and
// the current user's real "ROOT" store; whatever a test adds to the store is removed again.
#include "services/RootCertificate.h"

#include "framework/File.h"
#include "services/RunCancellation.h"
#include "support/FakePlatform.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedInternetProxy.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
using Response = LoopbackHttpServer::Response;

const HWND kOwner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5A5A));
const char kHost[] = "download.kelvara.example";
const char kPath[] = "/software/prerequisites/kelvaraca-x509.cer";
const wchar_t kNoticeText[] =
    L"Lantern Rise will now install Kelvara certificate to this computer. It is required for your security, and it "
    L"will allow your computer to check Kelvara products digital signatures and verify if they are original and "
    L"secure. Windows will now ask you if you agree to install Kelvara certificate to this computer, please click "
    L"Yes.";

// The demo certificate that the installer is pinned to, read from the source tree (through
// Wine's Z: drive when the tree is a Unix path).
Bytes DemoCertificate()
{
    std::wstring path;
    for (const char* c = FETCHWRIGHT_SOURCE_DIR; *c; ++c) path += static_cast<wchar_t>(*c);
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    path += L"/tests/e2e/docroot/download.kelvara.example/software/prerequisites/kelvaraca-x509.cer";
    CFile file(path.c_str(), CFile::modeRead);
    Bytes bytes(static_cast<size_t>(file.GetLength()));
    file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return bytes;
}

struct CertificateDeleter {
    void operator()(PCCERT_CONTEXT context) const { ::CertFreeCertificateContext(context); }
};
using CertificatePtr = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;

CertificatePtr Parse(const Bytes& der)
{
    return CertificatePtr(
        ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
}

// CryptoAPI encoders answer with the size first, then with the bytes.
template <class Encode>
Bytes Encoded(Encode encode)
{
    DWORD size = 0;
    if (!encode(nullptr, &size)) return {};
    Bytes bytes(size);
    if (!encode(bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

// A throwaway self-signed certificate with the given serial number (little-endian, as
// CryptoAPI keeps it), signed with an ephemeral key that is never stored.
Bytes MakeCertificate(LPCWSTR subject, Bytes serial)
{
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return {};
    std::shared_ptr<void> releaseProvider(nullptr, [provider](void*) { ::CryptReleaseContext(provider, 0); });
    HCRYPTKEY key = 0;
    if (!::CryptGenKey(provider, AT_SIGNATURE, 1024u << 16, &key)) return {};
    std::shared_ptr<void> destroyKey(nullptr, [key](void*) { ::CryptDestroyKey(key); });

    const Bytes publicKey = Encoded([&](BYTE* out, DWORD* size) {
        return ::CryptExportPublicKeyInfo(provider, AT_SIGNATURE, X509_ASN_ENCODING,
                                          reinterpret_cast<PCERT_PUBLIC_KEY_INFO>(out), size);
    });
    Bytes name = Encoded([&](BYTE* out, DWORD* size) {
        return ::CertStrToNameW(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, out, size, nullptr);
    });
    if (publicKey.empty() || name.empty()) return {};

    char signatureOid[] = szOID_RSA_SHA1RSA;
    CERT_INFO info = {};
    info.dwVersion = CERT_V3;
    info.SerialNumber = {static_cast<DWORD>(serial.size()), serial.data()};
    info.SignatureAlgorithm.pszObjId = signatureOid;
    info.Issuer = info.Subject = {static_cast<DWORD>(name.size()), name.data()};
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    ::SystemTimeToFileTime(&now, &info.NotBefore);
    ++now.wYear;
    ::SystemTimeToFileTime(&now, &info.NotAfter);
    info.SubjectPublicKeyInfo = *reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(publicKey.data());

    return Encoded([&](BYTE* out, DWORD* size) {
        return ::CryptSignAndEncodeCertificate(provider, AT_SIGNATURE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                               &info, &info.SignatureAlgorithm, nullptr, out, size);
    });
}

// The current user's trusted roots, as the installer sees them.
class RootStore {
public:
    RootStore() : m_hStore(::CertOpenSystemStoreW(0, L"ROOT")) {}
    ~RootStore()
    {
        if (m_hStore) ::CertCloseStore(m_hStore, 0);
    }
    RootStore(const RootStore&) = delete;
    RootStore& operator=(const RootStore&) = delete;

    bool Contains(const Bytes& der) const { return Find(der) != nullptr; }
    size_t Count() const
    {
        size_t count = 0;
        for (PCCERT_CONTEXT c = nullptr; (c = ::CertEnumCertificatesInStore(m_hStore, c)) != nullptr;) ++count;
        return count;
    }

private:
    CertificatePtr Find(const Bytes& der) const
    {
        const CertificatePtr wanted = Parse(der);
        if (!m_hStore || !wanted) return nullptr;
        return CertificatePtr(
            ::CertFindCertificateInStore(m_hStore, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr));
    }

    HCERTSTORE m_hStore;
};

// Removes the user's entry by its thumbprint. Wine keeps a certificate deleted through the
// store functions visible to this process until it ends; its registry entry goes at once.
void RemoveFromUserRoots(const Bytes& der)
{
    const CertificatePtr certificate = Parse(der);
    BYTE thumbprint[20];
    DWORD size = sizeof(thumbprint);
    if (!certificate ||
        !::CertGetCertificateContextProperty(certificate.get(), CERT_SHA1_HASH_PROP_ID, thumbprint, &size))
        return;
    std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
    for (DWORD i = 0; i < size; ++i) {
        key += L"0123456789ABCDEF"[thumbprint[i] >> 4];
        key += L"0123456789ABCDEF"[thumbprint[i] & 0xF];
    }
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

class RootCertificateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(demo.empty());
        RemoveFromUserRoots(demo);   // left over from an interrupted run
    }
    void TearDown() override
    {
        RemoveFromUserRoots(demo);
        for (const Bytes& der : addedByTest) RemoveFromUserRoots(der);
        ResetRunCancellationForTesting();
    }

    void Serve(const std::string& body, int status = 200)
    {
        Response response;
        response.status = status;
        response.headers = {{"Content-Type", status == 200 ? "application/pkix-cert" : "text/html"}};
        response.body = body;
        server.Respond(kHost, kPath, response);
    }
    static std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

    const Bytes demo = DemoCertificate();
    std::vector<Bytes> addedByTest;
    FakePlatform platform;
    ScopedFakePlatform installed{platform};
    LoopbackHttpServer server;
    ScopedInternetProxy proxy{server.Port()};
};

TEST_F(RootCertificateTest, AddsAMissingCertificateAfterOneNoticeAndThenFindsIt)
{
    Serve(AsString(demo));

    EXPECT_TRUE(InstallRootCertificate(kOwner));
    const auto boxes = platform.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kOwner, boxes[0].owner);
    EXPECT_EQ(kNoticeText, boxes[0].text);
    EXPECT_EQ(L"Kelvara Lantern Rise Installer", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes[0].type);
    EXPECT_TRUE(RootStore().Contains(demo));

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ(kHost, requests[0].host);
    EXPECT_EQ(kPath, requests[0].path);
    EXPECT_EQ("Kelvara Lantern Rise Installer", requests[0].Header("User-Agent"));

    EXPECT_TRUE(InstallRootCertificate(kOwner)) << "already installed";
    EXPECT_EQ(1u, platform.MessageBoxes().size()) << "no second notice";
}

TEST_F(RootCertificateTest, AnythingButThePinnedCertificateIsRefusedWithoutANotice)
{
    const Bytes stranger = MakeCertificate(L"CN=Stranger Root CA", {0x01, 0x02, 0x03, 0x04});
    ASSERT_FALSE(stranger.empty());
    addedByTest.push_back(stranger);   // removed in case it ever slips through

    struct Case {
        const char* what;
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"another certificate", AsString(stranger), 200},
        {"a 404 page", "<html><body><h1>404 Not Found</h1></body></html>", 404},
        {"an empty body", "", 200},
    };
    const size_t countBefore = RootStore().Count();
    for (const Case& c : cases) {
        const size_t requestsBefore = server.Requests().size();
        Serve(c.body, c.status);
        EXPECT_FALSE(InstallRootCertificate(kOwner)) << c.what;
        EXPECT_EQ(requestsBefore + 1, server.Requests().size()) << c.what << ": one attempt only";
    }
    EXPECT_TRUE(platform.MessageBoxes().empty());
    RootStore store;
    EXPECT_EQ(countBefore, store.Count());
    EXPECT_FALSE(store.Contains(stranger));
}

TEST_F(RootCertificateTest, UnreachableServerFailsWithoutANotice)
{
    Serve(AsString(demo));
    ScopedInternetProxy nowhere(LoopbackHttpServer::ClosedPort());

    EXPECT_FALSE(InstallRootCertificate(kOwner));
    EXPECT_TRUE(platform.MessageBoxes().empty());
    EXPECT_FALSE(RootStore().Contains(demo));
}

TEST_F(RootCertificateTest, SameSerialNumberFromAnotherIssuerCountsAsInstalled)
{
    const CertificatePtr parsedDemo = Parse(demo);
    ASSERT_TRUE(parsedDemo);
    const CRYPT_INTEGER_BLOB& serial = parsedDemo->pCertInfo->SerialNumber;
    const Bytes twin = MakeCertificate(L"CN=Other Issuer", Bytes(serial.pbData, serial.pbData + serial.cbData));
    ASSERT_FALSE(twin.empty());
    addedByTest.push_back(twin);
    ASSERT_TRUE(::CertAddEncodedCertificateToSystemStoreW(L"ROOT", twin.data(), static_cast<DWORD>(twin.size())));
    Serve(AsString(demo));

    EXPECT_TRUE(InstallRootCertificate(kOwner));
    EXPECT_TRUE(platform.MessageBoxes().empty());
    EXPECT_FALSE(RootStore().Contains(demo)) << "nothing may be added";
}

TEST_F(RootCertificateTest, AfterCancelNothingIsShownOrAdded)
{
    Serve(AsString(demo));
    CancelRun();

    EXPECT_FALSE(InstallRootCertificate(kOwner));
    EXPECT_TRUE(platform.MessageBoxes().empty());
    EXPECT_FALSE(RootStore().Contains(demo));
}

}  // namespace
