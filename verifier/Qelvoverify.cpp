// Qelvoverify.dll: the machine identifier of the statistics reports.
//
// The identifier is the MD5 (32 lower-case hex digits) of the Windows
// installation's MachineGuid and the system volume's serial number: stable
// across runs and user accounts on one machine, different between machines,
// and neither value can be read back from it.
//
// Plain buffers instead of the standard strings keep the library (carried
// inside the program) small.
#include "codec/Md5.h"
#include "base/ScopedRegKey.h"
#include "verifier/VerifierApi.h"

#include <windows.h>

#include <cstring>

namespace {

const size_t kGuidChars = 64;

// The MachineGuid as ASCII text; false when absent.
bool ReadMachineGuid(char (&guid)[kGuidChars]) {
    ScopedRegKey key;
    // The 64-bit view on 64-bit Windows: a 32-bit process would otherwise
    // read its redirected copy, which may lack the value.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.receive()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t value[kGuidChars] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    const LONG status =
        ::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
    key.reset();
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    size_t n = 0;
    for (; n + 1 < kGuidChars && value[n]; ++n) guid[n] = static_cast<char>(value[n] < 0x80 ? value[n] : '?');
    guid[n] = '\0';
    return n > 0;
}

// Serial of the volume holding the Windows folder; false when unknown.
bool SystemVolumeSerial(DWORD& serial) {
    wchar_t root[MAX_PATH] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(root, MAX_PATH);
    if (n < 3 || n >= MAX_PATH) return false;
    root[3] = L'\0';  // "C:\"
    return ::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) != 0;
}

}  // namespace

extern "C" int VERIFIER_API GetCIDW(wchar_t* buffer, int capacity) {
    const int kDigits = static_cast<int>(CMd5::kDigestBytes * 2);
    if (!buffer || capacity <= kDigits) return 0;
    char guid[kGuidChars] = {};
    const bool haveGuid = ReadMachineGuid(guid);
    DWORD serial = 0;
    const bool haveSerial = SystemVolumeSerial(serial);
    if (!haveGuid && !haveSerial) return 0;

    // "<MachineGuid>|<serial in 8 upper-case hexadecimal digits>", formatted
    // by hand: the C library's formatted printing would be most of the
    // library's code.
    char source[kGuidChars + 16] = {};
    size_t length = std::strlen(guid);
    std::memcpy(source, guid, length);
    source[length++] = '|';
    const DWORD shown = haveSerial ? serial : 0;
    for (int shift = 28; shift >= 0; shift -= 4) source[length++] = "0123456789ABCDEF"[(shown >> shift) & 0x0f];
    CMd5 md5;
    md5.Update(source, length);
    uint8_t digest[CMd5::kDigestBytes];
    md5.Final(digest);
    static const wchar_t kHex[] = L"0123456789abcdef";
    for (size_t i = 0; i < CMd5::kDigestBytes; ++i) {
        buffer[2 * i] = kHex[digest[i] >> 4];
        buffer[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    buffer[kDigits] = L'\0';
    return 1;
}
