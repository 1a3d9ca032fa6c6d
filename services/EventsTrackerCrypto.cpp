// The tracker's cryptography: its CryptoAPI context, transaction ids and macs.
#include "services/EventsTracker.h"

#include "services/InstallerException.h"

#include <cstdlib>
#include <vector>

namespace {

// Destroys a CryptoAPI hash object on every path.
class CHashObject {
public:
    explicit CHashObject(HCRYPTPROV provider)
    {
        if (!::CryptCreateHash(provider, CALG_SHA1, 0, 0, &m_hHash))
            ThrowEventsTrackerException(L"Can not create hash.");
    }
    ~CHashObject() { ::CryptDestroyHash(m_hHash); }
    CHashObject(const CHashObject&) = delete;
    CHashObject& operator=(const CHashObject&) = delete;
    operator HCRYPTHASH() const { return m_hHash; }

private:
    HCRYPTHASH m_hHash = 0;
};

// The bytes of an ASCII text, as the C library converts it in the default locale.
std::vector<char> ToNarrow(const CString& text)
{
    std::vector<char> bytes(static_cast<size_t>(text.GetLength()) * MB_CUR_MAX + 1);
    const size_t length = std::wcstombs(bytes.data(), text, bytes.size());
    bytes.resize(length == static_cast<size_t>(-1) ? 0 : length);
    return bytes;
}

}  // namespace

void CEventsTracker::AcquireCryptContext()
{
    static const wchar_t kContainer[] = L"Kelvara Events Tracker";
    if (::CryptAcquireContextW(&m_hProvider, kContainer, nullptr, PROV_RSA_FULL, CRYPT_SILENT)) return;
    // The first run for this user creates the container; later runs open it.
    if (::CryptAcquireContextW(&m_hProvider, kContainer, nullptr, PROV_RSA_FULL, CRYPT_SILENT | CRYPT_NEWKEYSET))
        return;
    m_hProvider = 0;
    CString message;
    message.Format(L"Can not acquire cryptographic context. Error code is %08X.", ::GetLastError());
    ThrowEventsTrackerException(message);
}

void CEventsTracker::GenerateTxnId(CString& txnId)
{
    BYTE random[10];
    if (!::CryptGenRandom(m_hProvider, sizeof(random), random))
        ThrowEventsTrackerException(L"Can not generate random bytes.");
    for (BYTE b : random) txnId.AppendFormat(L"%02X", b);
}

void CEventsTracker::ComputeMac(CString txnId, CString& mac)
{
    std::vector<char> message = ToNarrow(txnId);
    const std::vector<char> key = ToNarrow(m_strKey);
    message.insert(message.end(), key.begin(), key.end());

    CHashObject hash(m_hProvider);
    if (!::CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(message.size()), 0))
        ThrowEventsTrackerException(L"Can not add data to hash.");
    BYTE value[20];
    DWORD length = sizeof(value);
    if (!::CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0)) {
        CString text;
        text.Format(L"Can not get hash value. Error code is %08X.", ::GetLastError());
        ThrowEventsTrackerException(text);
    }
    for (DWORD i = 0; i < length; ++i) mac.AppendFormat(L"%02x", value[i]);
}
