#include "engine/HttpDownload.h"

#include "base/HttpRedirect.h"
#include "base/ScopedHandle.h"
#include "base/ScopedInternetHandle.h"

#include <wininet.h>

#include <cwchar>
#include <string>

namespace {

// The announced body length, read as text so that sizes above 4 GiB are
// still compared correctly; 0 when there is none.
uint64_t QueryContentLength(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return 0;
    return std::wcstoull(text, nullptr, 10);
}

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // the path onward, query included, unchanged
};

// Splits url with the platform's cracker (no decoding, no escaping).
bool CrackUrl(const wchar_t* url, UrlParts& out) {
    wchar_t host[256] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.dwUrlPathLength = 1;  // ask for a pointer into url
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(url, 0, 0, &parts)) return false;
    out.scheme = parts.nScheme;
    out.host = host;
    out.port = parts.nPort;
    // The request object is everything from the path on, query included.
    out.object = parts.lpszUrlPath ? parts.lpszUrlPath : parts.lpszExtraInfo ? parts.lpszExtraInfo : L"";
    return !out.host.empty();
}

// The absolute address a redirect answer names: its Location, resolved
// against the address that was asked for.
bool RedirectTarget(HINTERNET request, const std::wstring& base, std::wstring& target) {
    DWORD size = 0;
    ::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
    if (size == 0) return false;
    std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, &location[0], &size, nullptr)) return false;
    location.resize(size / sizeof(wchar_t));
    if (location.empty()) return false;
    DWORD length = 0;
    ::InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &length, ICU_NO_ENCODE);
    if (length == 0) return false;
    std::wstring combined(length + 1, L'\0');
    length = static_cast<DWORD>(combined.size());
    if (!::InternetCombineUrlW(base.c_str(), location.c_str(), &combined[0], &length, ICU_NO_ENCODE)) return false;
    combined.resize(length);
    target = std::move(combined);
    return true;
}

}  // namespace

// "Mozila" with one "l": the portal's servers match the agent as it stands.
const wchar_t CHttpDownload::kUserAgent[] = L"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)";

void CHttpDownload::SetTimeouts(DWORD connect, DWORD send, DWORD receive) {
    connectTimeout_ = connect;
    sendTimeout_ = send;
    receiveTimeout_ = receive;
}

void CHttpDownload::Report(int done, int total, int status) {
    if (callback_) callback_->OnHttpProgress(done, total, status);
}

bool CHttpDownload::Download(const wchar_t* url, const wchar_t* filePath) {
    lastStatus_ = 0;
    if (!url || !IsNetworkOnline()) return false;
    // Secure URLs are refused unless allowed: this transfer is for plain
    // http (a redirect may still lead to https, see below).
    UrlParts first;
    if (!CrackUrl(url, first)) return false;
    if (first.scheme != INTERNET_SCHEME_HTTP && !(allowSecure_ && first.scheme == INTERNET_SCHEME_HTTPS)) return false;

    // The file is created before any traffic; a failed request leaves it
    // empty and closed, so the caller can delete it at once.
    ScopedHandle file;
    if (filePath) {
        file.reset(::CreateFileW(filePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
    }

    ScopedInternetHandle root(::InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) return false;
    const struct {
        DWORD option;
        DWORD value;
    } timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, connectTimeout_},
                    {INTERNET_OPTION_SEND_TIMEOUT, sendTimeout_},
                    {INTERNET_OPTION_RECEIVE_TIMEOUT, receiveTimeout_}};
    for (const auto& t : timeouts) {
        if (t.value) {
            DWORD value = t.value;
            ::InternetSetOptionW(root.get(), t.option, &value, sizeof(value));
        }
    }
    Report(0, 0, HTTP_PROGRESS_OPENED);

    // Redirects are followed here, one hop at a time, so that each target is
    // looked at before anything is sent to it.
    std::wstring current = url;
    UrlParts parts = first;
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
    BOOL sent = FALSE;
    for (int hop = 0;; ++hop) {
        request.reset();
        connection.reset(::InternetConnectW(root.get(), parts.host.c_str(), parts.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return false;
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        // Certificates are checked as the system checks them: do NOT add the
        // INTERNET_FLAG_IGNORE_CERT_* flags.
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (parts.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
        request.reset(::HttpOpenRequestW(connection.get(), nullptr, parts.object.c_str(), L"HTTP/1.1", nullptr,
                                         acceptTypes, flags, 0));
        if (!request) return false;
        sent = ::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0);

        DWORD status = 0;
        DWORD statusSize = sizeof(status);
        if (::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                             nullptr)) {
            lastStatus_ = status;
        }
        if (!sent || !IsRedirectStatus(lastStatus_)) break;
        if (hop == kMaxHttpRedirects) return false;
        std::wstring next;
        if (!RedirectTarget(request.get(), current, next) || !MayFollowRedirect(current, next)) return false;
        if (!CrackUrl(next.c_str(), parts)) return false;
        if (parts.scheme != INTERNET_SCHEME_HTTP && parts.scheme != INTERNET_SCHEME_HTTPS) return false;
        current = std::move(next);
        lastStatus_ = 0;
    }
    if (!sent || lastStatus_ != HTTP_STATUS_OK) return false;

    const uint64_t announced = QueryContentLength(request.get());
    // A body larger than the caller allows is not read at all.
    if (bodyLimit_ && announced > bodyLimit_) return false;
    Report(0, 0, HTTP_PROGRESS_ACCEPTED);

    char buffer[kReadBlock];
    uint64_t received = 0;
    unsigned reads = 0;
    bool intact = true;
    for (;;) {
        if (announced && received >= announced) break;
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), buffer, kReadBlock, &got)) {
            intact = false;  // reset or time-out: the body is incomplete
            break;
        }
        if (got == 0) break;
        if (bodyLimit_ && received + got > bodyLimit_) {
            intact = false;  // an unannounced body that keeps coming
            break;
        }
        if (file) {
            DWORD written = 0;
            if (!::WriteFile(file.get(), buffer, got, &written, nullptr) || written != got) {
                intact = false;  // disk full or similar: the file is not the body
                break;
            }
        }
        received += got;
        if (reads % 10 == 0) Report(static_cast<int>(received), static_cast<int>(announced), HTTP_PROGRESS_RECEIVING);
        ++reads;
    }
    Report(0, 0, HTTP_PROGRESS_FINISHED);

    // A body shorter than the announced length is a truncated transfer, not a
    // good file; without an announced length the end of the connection ends it.
    if (announced && received < announced) intact = false;

    file.reset();
    request.reset();
    connection.reset();
    root.reset();
    return intact;
}

bool IsNetworkOnline() {
    DWORD flags = 0;
    if (!::InternetGetConnectedState(&flags, 0)) return false;
    if (flags & INTERNET_CONNECTION_OFFLINE) return false;
    return (flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY)) != 0;
}
