// The handle owners in base/: each closes its handle exactly once, and an
// owner moved from gives its handle away without closing it.
// Winsock's header must come before windows.h.
#include "base/ScopedSocket.h"
#include "base/ScopedInternetHandle.h"
#include "base/ScopedRegKey.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <utility>

namespace {

// Counts the closings WinINet reports for the handles opened with a
// context that points at a counter.
void CALLBACK CountClosings(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD) {
    if (status == INTERNET_STATUS_HANDLE_CLOSING && context) ++*reinterpret_cast<int*>(context);
}

class InternetOwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        session_.reset(::InternetOpenW(L"vorla-owner-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        // Handles opened under the session report to the same callback.
        ASSERT_NE(INTERNET_INVALID_STATUS_CALLBACK, ::InternetSetStatusCallbackW(session_.get(), CountClosings));
    }
    // A connection handle to a loopback server; nothing is sent until a
    // request is, so no server needs to listen.
    HINTERNET Connect() {
        return ::InternetConnectW(session_.get(), L"127.0.0.1", 17299, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                  reinterpret_cast<DWORD_PTR>(&closings_));
    }

    ScopedInternetHandle session_;
    int closings_ = 0;
};

TEST_F(InternetOwnerTest, ResetThenDestroyClosesTheHandleOnce) {
    {
        ScopedInternetHandle connection(Connect());
        ASSERT_TRUE(connection);
        connection.reset();
        EXPECT_EQ(1, closings_);
        EXPECT_FALSE(connection);
    }
    EXPECT_EQ(1, closings_);
}

TEST_F(InternetOwnerTest, MovedFromOwnerDoesNotClose) {
    ScopedInternetHandle target;
    {
        ScopedInternetHandle source(Connect());
        ASSERT_TRUE(source);
        target = std::move(source);
        EXPECT_FALSE(source);
    }
    EXPECT_EQ(0, closings_);
    ASSERT_TRUE(target);
    target.reset();
    EXPECT_EQ(1, closings_);
}

TEST_F(InternetOwnerTest, ResetToAnotherHandleClosesTheOldOneOnly) {
    ScopedInternetHandle connection(Connect());
    ASSERT_TRUE(connection);
    connection.reset(Connect());
    EXPECT_EQ(1, closings_);
    ASSERT_TRUE(connection);
    connection.reset();
    EXPECT_EQ(2, closings_);
}

TEST(RegKeyOwner, MovedFromOwnerLeavesTheKeyOpen) {
    ScopedRegKey target;
    {
        ScopedRegKey source;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, source.receive()));
        target = std::move(source);
        EXPECT_FALSE(source);
    }
    DWORD subKeys = 0;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryInfoKeyW(target.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr));
}

// A socket's empty value is INVALID_SOCKET, not 0 (which can be a real
// socket): the owner must tell them apart.
TEST(SocketOwner, ClosesOnceAndAMovedFromOwnerLeavesTheSocketOpen) {
    WSADATA data;
    ASSERT_EQ(0, ::WSAStartup(MAKEWORD(2, 2), &data));
    {
        ScopedSocket empty;
        EXPECT_FALSE(empty);
        EXPECT_EQ(INVALID_SOCKET, empty.get());
        ScopedSocket failed(INVALID_SOCKET);
        EXPECT_FALSE(failed);

        ScopedSocket target;
        SOCKET raw = INVALID_SOCKET;
        {
            ScopedSocket source(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
            ASSERT_TRUE(source);
            raw = source.get();
            target = std::move(source);
            EXPECT_FALSE(source);
        }
        int type = 0, size = sizeof(type);
        EXPECT_EQ(0, ::getsockopt(target.get(), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size))
            << "the moved-to owner still holds an open socket";
        target.reset();
        EXPECT_FALSE(target);
        EXPECT_NE(0, ::getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size))
            << "reset closed the socket";
    }
    ::WSACleanup();
}

}  // namespace
