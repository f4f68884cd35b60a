// The publisher check of a program about to be launched, on copies of a
// program signed by a certificate authority the test makes (built with the
// tests: tests/support/make_signed_programs.sh) and trusts in this prefix's
// machine root store while it runs. Each thing a check must catch has its
// own copy; some are caught only by the chain policy and usage checks, since
// this platform's WinVerifyTrust accepts them on its own.
#include "engine/PublisherCheck.h"

#include "tests/support/RootCertificate.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

const wchar_t kPublisher[] = L"Xingchen Games Ltd";

std::wstring Signed(const wchar_t* name) { return BinDir() + L"\\signed-programs\\" + name; }

class PublisherCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string der;
        if (ReadFileBytes(Signed(L"ca.der"), der)) root_.reset(new ScopedRootCertificate(der, HKEY_LOCAL_MACHINE));
    }
    static void TearDownTestSuite() { root_.reset(); }
    void SetUp() override { ASSERT_TRUE(root_ && root_->Trusted()) << "the test authority is not trusted"; }

    static std::unique_ptr<ScopedRootCertificate> root_;
};
std::unique_ptr<ScopedRootCertificate> PublisherCheckTest::root_;

TEST_F(PublisherCheckTest, OnlyAnUnchangedProgramSignedForCodeByTheNamedPublisherPasses) {
    const struct {
        const wchar_t* file;
        const wchar_t* expected;
        PublisherVerdict verdict;
    } cases[] = {
        {L"good.exe", kPublisher, PublisherVerdict::kTrusted},
        {L"good.exe", L"Xingchen Games", PublisherVerdict::kOtherPublisher},  // exactly the name
        {L"good.exe", L"xingchen games ltd", PublisherVerdict::kOtherPublisher},
        {L"other.exe", kPublisher, PublisherVerdict::kOtherPublisher},
        {L"unsigned.exe", kPublisher, PublisherVerdict::kNotSigned},
        {L"changed.exe", kPublisher, PublisherVerdict::kNotSigned},
        {L"torn.exe", kPublisher, PublisherVerdict::kNotSigned},
        // Accepted by WinVerifyTrust here, refused by the explicit checks:
        {L"untrusted.exe", kPublisher, PublisherVerdict::kUntrustedChain},
        {L"expired.exe", kPublisher, PublisherVerdict::kUntrustedChain},
        {L"serverauth.exe", kPublisher, PublisherVerdict::kNotForCode},
        {L"missing.exe", kPublisher, PublisherVerdict::kNotSigned},
    };
    for (const auto& c : cases)
        EXPECT_EQ(int(c.verdict), int(CheckPublisher(Signed(c.file), c.expected))) << Narrow(c.file);
}

}  // namespace
