// The machine identifier: the real verification library (VERYFY_DLL 121)
// and a fake one (211) whose behaviour the environment variable
// VORLA_FAKE_CID picks and whose calls VORLA_FAKE_CID_CALLS counts.
#include "config/DownloaderConfig.h"
#include "app/EngineWiring.h"
#include "engine/MachineId.h"
#include "base/ScopedRegKey.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace testing_support;

namespace {

const int kFakeVerifier = 211;
const wchar_t kType[] = L"VERYFY_DLL";

std::wstring LibraryPath(const wchar_t* name) { return TempFolder() + L"vorla-" + name + L".dll"; }

std::wstring FakeCalls() {
    wchar_t calls[256] = {};
    return std::wstring(calls, ::GetEnvironmentVariableW(L"VORLA_FAKE_CID_CALLS", calls, 256));
}

class MachineIdTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetEnvironmentVariableW(L"VORLA_FAKE_CID_CALLS", nullptr);
        ::SetEnvironmentVariableW(L"VORLA_FAKE_CID", nullptr);
    }
};

bool IsLowerHex(const std::wstring& text) {
    for (wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    }
    return true;
}

std::wstring RegistryMachineGuid() {
    ScopedRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.receive()) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t value[128] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    ::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &bytes);
    return value;
}

TEST_F(MachineIdTest, RealLibraryGivesAStableDigestThatHidesTheMachineGuid) {
    const std::wstring path = LibraryPath(L"verify");
    CMachineId first(CMachineId::kVerifierResourceId, CMachineId::kVerifierResourceType, path);
    CMachineId second(CMachineId::kVerifierResourceId, CMachineId::kVerifierResourceType, path);
    std::wstring a, b;
    ASSERT_TRUE(first.Get(a));
    EXPECT_FALSE(FileExists(path));
    ASSERT_TRUE(second.Get(b));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(a, b);
    EXPECT_EQ(32u, a.size());
    EXPECT_TRUE(IsLowerHex(a)) << Narrow(a);
    const std::wstring guid = RegistryMachineGuid();
    ASSERT_FALSE(guid.empty());
    EXPECT_EQ(std::wstring::npos, a.find(guid));
}

TEST_F(MachineIdTest, SecondCallUsesTheCacheWithoutTouchingTheLibrary) {
    const std::wstring path = LibraryPath(L"fake-verify");
    CMachineId machineId(kFakeVerifier, kType, path);
    std::wstring id;
    ASSERT_TRUE(machineId.Get(id));
    EXPECT_EQ(L"fake-machine-id", id);
    EXPECT_FALSE(FileExists(path));
    // A fetch would delete this file before extracting the library.
    ASSERT_TRUE(WriteFileBytes(path, "not the library"));
    id.clear();
    ASSERT_TRUE(machineId.Get(id));
    EXPECT_EQ(L"fake-machine-id", id);
    EXPECT_EQ(L"x", FakeCalls());
    EXPECT_TRUE(FileExists(path));
    ::DeleteFileW(path.c_str());
}

TEST_F(MachineIdTest, FailedFetchCachesNothingAndTheNextCallTriesAgain) {
    const std::wstring path = LibraryPath(L"fake-verify");
    CMachineId machineId(kFakeVerifier, kType, path);
    ::SetEnvironmentVariableW(L"VORLA_FAKE_CID", L"fail");
    std::wstring id = L"stale";
    EXPECT_FALSE(machineId.Get(id));
    EXPECT_EQ(L"", id);  // not the half-written text of the failed call
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(machineId.Get(id));
    EXPECT_EQ(L"", id);

    ::SetEnvironmentVariableW(L"VORLA_FAKE_CID", nullptr);
    ASSERT_TRUE(machineId.Get(id));
    EXPECT_EQ(L"fake-machine-id", id);
    EXPECT_EQ(L"xxx", FakeCalls());
    EXPECT_FALSE(FileExists(path));
}

TEST_F(MachineIdTest, TwoThreadsFetchOnce) {
    CMachineId machineId(kFakeVerifier, kType, LibraryPath(L"fake-verify"));
    std::wstring a, b;
    bool okA = false, okB = false;
    std::thread other([&] { okA = machineId.Get(a); });
    okB = machineId.Get(b);
    other.join();
    EXPECT_TRUE(okA);
    EXPECT_TRUE(okB);
    EXPECT_EQ(L"fake-machine-id", a);
    EXPECT_EQ(a, b);
    EXPECT_EQ(L"x", FakeCalls());
}

TEST_F(MachineIdTest, MissingResourceFailsWithoutAFile) {
    const std::wstring path = LibraryPath(L"missing-verify");
    ASSERT_TRUE(WriteFileBytes(path, "left over"));
    CMachineId machineId(998, kType, path);
    std::wstring id;
    EXPECT_FALSE(machineId.Get(id));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(MachineIdTest, ProcessWideIdentifierComesFromTheCarriedLibrary) {
    std::wstring first, second;
    ASSERT_TRUE(GetMachineId(first));
    EXPECT_EQ(32u, first.size());
    EXPECT_FALSE(FileExists(TheDownloaderConfig().GetMachineIdLibraryPath()));
    EXPECT_EQ(TempFolder() + L"7290Qelvoverify.dll", TheDownloaderConfig().GetMachineIdLibraryPath());
    ASSERT_TRUE(GetMachineId(second));
    EXPECT_EQ(first, second);
}

}  // namespace
