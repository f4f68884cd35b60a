#include "p2sp/http/HttpSource.h"

#include "base/HttpRedirect.h"

#include <cwchar>
#include <vector>

namespace {

// Time-outs bound how long a stalled server can hold a read, and with it how
// long a stop request waits on a link that delivers nothing.
// A silent connection is given up after kReceiveTimeoutMs and resumed on a
// new one, so it also bounds how long a stop waits on a stalled link.
constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kReceiveTimeoutMs = 3000;

bool QueryText(HINTERNET request, DWORD what, std::string* text) {
    char buffer[2048];
    DWORD size = sizeof(buffer) - 1;
    DWORD index = 0;
    if (!HttpQueryInfoA(request, what, buffer, &size, &index)) return false;
    text->assign(buffer, size);
    return true;
}

// A header of any length, as the platform gives it in UTF-16.
bool QueryWide(HINTERNET request, DWORD what, std::wstring* text) {
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        DWORD size = DWORD(buffer.size() * sizeof(wchar_t)), index = 0;
        if (HttpQueryInfoW(request, what, buffer.data(), &size, &index)) {
            text->assign(buffer.data(), size / sizeof(wchar_t));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= (1u << 16)) return false;
        buffer.resize(buffer.size() * 4);
    }
}

// `location` (absolute, or relative to `base`) as an absolute URL.
bool ResolveLocation(const std::wstring& base, const std::wstring& location, std::wstring* url) {
    std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH);
    for (;;) {
        DWORD size = DWORD(buffer.size());
        if (InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &size, 0)) {
            url->assign(buffer.data(), size);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= (1u << 16)) return false;
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring Widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

}  // namespace

HttpSource::~HttpSource() {
    // Requests and connections close before the session they belong to.
    CloseConnection();
    session_.reset();
}

bool HttpSource::Open() {
    session_.reset(InternetOpenW(L"QelvoP2SP/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session_) return false;
    DWORD timeout = kConnectTimeoutMs;
    InternetSetOptionW(session_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session_.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    timeout = kReceiveTimeoutMs;
    InternetSetOptionW(session_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    return true;
}

void HttpSource::CloseRequest() {
    request_.reset();
}

void HttpSource::CloseConnection() {
    CloseRequest();
    // Closing a connection handle costs about 50 ms under Wine: it is kept
    // for the next request to the same server.
    connection_.reset();
    connectionKey_.clear();
}

bool HttpSource::Send(const std::wstring& url, const std::string& headers, HttpReply* reply) {
    // Redirects are followed here, not by WinINet, so each one is looked at
    // before it is followed: from https, only to https. Under Wine, WinINet
    // follows a redirect from https to plain http without a word, sending
    // the request in clear. (Do not set INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP
    // either; nothing here may lead from https to http.)
    std::wstring current = url;
    for (int redirects = 0;; ++redirects) {
        bool secure = false;
        if (!SendOnce(current, headers, reply, &secure)) return false;
        std::wstring location;
        if (!IsRedirectStatus(reply->status) || !QueryWide(request_.get(), HTTP_QUERY_LOCATION, &location)) return true;
        std::wstring next;
        DWORD refusal = 0;
        if (redirects >= kMaxHttpRedirects) {
            refusal = ERROR_HTTP_REDIRECT_FAILED;
        } else if (!ResolveLocation(current, location, &next)) {
            refusal = ERROR_INTERNET_INVALID_URL;
        } else if (secure && !MayFollowRedirect(current, next)) {
            refusal = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
        }
        CloseRequest();
        if (refusal) {
            sendError_ = refusal;
            return false;
        }
        current = next;
    }
}

bool HttpSource::SendOnce(const std::wstring& url, const std::string& headers, HttpReply* reply, bool* secure) {
    CloseRequest();
    URL_COMPONENTSW parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!InternetCrackUrlW(url.c_str(), DWORD(url.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        sendError_ = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        return false;
    }
    *secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    // The open connection serves the same scheme, port and host. Scheme and
    // port go in as one character each (both fit in 16 bits), not as decimal
    // text: std::to_wstring would link the runtime's wide printf.
    const std::wstring key = std::wstring{wchar_t(parts.nScheme), wchar_t(parts.nPort), L'|'} + host;
    if (connection_ && key == connectionKey_) return SendOn(object, parts.nScheme == INTERNET_SCHEME_HTTPS, headers, reply);
    CloseConnection();
    connection_.reset(InternetConnectW(session_.get(), host.c_str(), parts.nPort, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) {
        sendError_ = GetLastError();
        return false;
    }
    connectionKey_ = key;
    // Time-outs set on the connection handle reach the socket under Wine as
    // well; set on the session they are ignored there.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
        DWORD timeout = kConnectTimeoutMs;
        InternetSetOptionW(connection_.get(), option, &timeout, sizeof(timeout));
    }
    DWORD receiveTimeout = kReceiveTimeoutMs;
    InternetSetOptionW(connection_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof(receiveTimeout));
    return SendOn(object, parts.nScheme == INTERNET_SCHEME_HTTPS, headers, reply);
}

bool HttpSource::SendOn(const std::wstring& object, bool secure, const std::string& headers, HttpReply* reply) {

    // Never from or into the WinINet cache: a cached body would bypass the
    // range and validator checks. Certificates are checked as usual; do not
    // add the INTERNET_FLAG_IGNORE_CERT_* flags.
    // Redirects come back to Send, which decides whether to follow them.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION |
                  INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    // A request left open is closed first, so nothing after the open below
    // touches the error it may report.
    CloseRequest();
    request_.reset(HttpOpenRequestW(connection_.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0));
    std::wstring wideHeaders = Widen(headers);
    if (!request_ || !HttpSendRequestW(request_.get(), wideHeaders.empty() ? nullptr : wideHeaders.c_str(),
                                       DWORD(wideHeaders.size()), nullptr, 0)) {
        sendError_ = GetLastError();
        CloseRequest();
        return false;
    }
    sendError_ = 0;
    *reply = HttpReply();
    DWORD status = 0, size = sizeof(status), index = 0;
    if (!HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index)) {
        CloseRequest();
        return false;
    }
    reply->status = status;
    std::string text;
    if (QueryText(request_.get(), HTTP_QUERY_CONTENT_LENGTH, &text))
        reply->hasLength = ParseDecimalU64(text, &reply->length);
    if (QueryText(request_.get(), HTTP_QUERY_CONTENT_RANGE, &text))
        reply->hasRange = ParseContentRange(text, &reply->range);
    QueryText(request_.get(), HTTP_QUERY_ETAG, &reply->etag);
    QueryText(request_.get(), HTTP_QUERY_LAST_MODIFIED, &reply->lastModified);
    return true;
}

bool HttpSource::Read(void* buffer, DWORD size, DWORD* got) {
    *got = 0;
    if (!request_) return false;
    return InternetReadFile(request_.get(), buffer, size, got) != FALSE;
}

bool HttpSource::FailureIsPermanent() const {
    switch (sendError_) {
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
    case ERROR_HTTP_REDIRECT_FAILED:
        return true;
    default:
        return false;
    }
}
