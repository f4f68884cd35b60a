// The save-location checks on the real platform: the security products'
// registered folders and files in the temporary folder.
#include "config/DownloaderConfig.h"
#include "system/FolderChecks.h"
#include "base/ScopedRegKey.h"
#include "system/SystemVolumes.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

using namespace testing_support;

namespace {

// The first security product's "path" value, set for the life of the object;
// what was there before (normally nothing) is put back.
class RegisteredProduct {
public:
    RegisteredProduct(const std::wstring& value, DWORD type) {
        DWORD disposition = 0;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSecurityProductKeys[0], 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, key_.receive(), &disposition) != ERROR_SUCCESS) {
            key_.release();  // nothing was opened
            return;
        }
        createdKey_ = disposition == REG_CREATED_NEW_KEY;
        DWORD size = 0;
        if (::RegQueryValueExW(key_.get(), L"path", nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
            oldValue_.resize(size);
            hadValue_ = ::RegQueryValueExW(key_.get(), L"path", nullptr, &oldType_, oldValue_.data(), &size) ==
                        ERROR_SUCCESS;
        }
        const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        set_ = ::RegSetValueExW(key_.get(), L"path", 0, type, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
               ERROR_SUCCESS;
    }
    ~RegisteredProduct() {
        if (!key_) return;
        if (hadValue_) {
            ::RegSetValueExW(key_.get(), L"path", 0, oldType_, oldValue_.data(), static_cast<DWORD>(oldValue_.size()));
        } else {
            ::RegDeleteValueW(key_.get(), L"path");
        }
        key_.reset();  // closed before the key is deleted
        if (createdKey_) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSecurityProductKeys[0]);
    }
    RegisteredProduct(const RegisteredProduct&) = delete;
    RegisteredProduct& operator=(const RegisteredProduct&) = delete;

    bool set() const { return set_; }

private:
    ScopedRegKey key_;
    bool createdKey_ = false;
    bool hadValue_ = false;
    DWORD oldType_ = 0;
    std::vector<BYTE> oldValue_;
    bool set_ = false;
};

TEST(FolderChecksPlatform, AnExpandableRegisteredPathIsExpanded) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"VORLA_TEST_PRODUCTS", L"C:\\Vorla Test Programs"));
    {
        RegisteredProduct product(L"%VORLA_TEST_PRODUCTS%\\Qelvo\\", REG_EXPAND_SZ);
        ASSERT_TRUE(product.set());
        std::wstring path;
        ASSERT_TRUE(PlatformVolumes().SecurityProductPath(0, path));
        EXPECT_EQ(L"C:\\Vorla Test Programs\\Qelvo\\", path);
        CFolderChecks checks(PlatformVolumes(), L"setup.exe", 100);
        EXPECT_FALSE(checks.IsOutsideSecurityProducts(L"c:\\vorla test programs\\qelvo\\downloads"));
        EXPECT_FALSE(checks.IsOutsideSecurityProducts(L"C:\\Vorla Test Programs\\Qelvo"));
        EXPECT_TRUE(checks.IsOutsideSecurityProducts(L"C:\\Vorla Test Programs\\QelvoGames"));
    }
    {
        // A plain string is taken as it stands.
        RegisteredProduct product(L"%VORLA_TEST_PRODUCTS%\\Qelvo", REG_SZ);
        ASSERT_TRUE(product.set());
        std::wstring path;
        ASSERT_TRUE(PlatformVolumes().SecurityProductPath(0, path));
        EXPECT_EQ(L"%VORLA_TEST_PRODUCTS%\\Qelvo", path);
    }
    ::SetEnvironmentVariableW(L"VORLA_TEST_PRODUCTS", nullptr);
}

class ExistingTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = TempFolder() + L"vorla-existing-target\\";
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        target_ = folder_ + L"setup.exe";
        ASSERT_TRUE(WriteFileBytes(target_, "the installer of an earlier run"));
    }
    void TearDown() override {
        ::DeleteFileW(target_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    FolderVerdict Check() { return CFolderChecks(PlatformVolumes(), L"setup.exe", 1).Check(folder_); }
    void ExpectTargetUnchanged() {
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(target_, bytes));
        EXPECT_EQ("the installer of an earlier run", bytes);
    }

    std::wstring folder_;
    std::wstring target_;
};

TEST_F(ExistingTargetTest, AWritableEarlierDownloadPassesUnchanged) {
    EXPECT_EQ(FolderVerdict::Accepted, Check());
    ExpectTargetUnchanged();
}

TEST_F(ExistingTargetTest, AnEarlierDownloadThatCannotBeWrittenAsksForAnotherFolder) {
    // Another program holds the file and lets nobody write it. (A read-only
    // file would do on Windows; the test prefix runs as root, which Wine lets
    // write read-only files.)
    HANDLE held = ::CreateFileW(target_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(FolderVerdict::NoPermission, Check());
    ::CloseHandle(held);
    EXPECT_EQ(FolderVerdict::Accepted, Check());
    ExpectTargetUnchanged();
}

}  // namespace
