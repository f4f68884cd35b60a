#include "HttpSource.h"


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

std::wstring Widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

}  // namespace

HttpSource::~HttpSource() {
    CloseConnection();
    if (session_) InternetCloseHandle(session_);
}

bool HttpSource::Open() {
    session_ = InternetOpenW(L"QelvoP2SP/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session_) return false;
    DWORD timeout = kConnectTimeoutMs;
    InternetSetOptionW(session_, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session_, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    timeout = kReceiveTimeoutMs;
    InternetSetOptionW(session_, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    return true;
}

void HttpSource::CloseRequest() {
    if (request_) InternetCloseHandle(request_);
    request_ = nullptr;
}

void HttpSource::CloseConnection() {
    CloseRequest();
    // Closing a connection handle costs about 50 ms under Wine: it is kept
    // for the next request to the same server.
    if (connection_) InternetCloseHandle(connection_);
    connection_ = nullptr;
    connectionKey_.clear();
}

bool HttpSource::Send(const std::wstring& url, const std::string& headers, HttpReply* reply) {
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
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    std::wstring key = std::to_wstring(int(parts.nScheme)) + L"|" + std::to_wstring(parts.nPort) + L"|" + host;
    if (connection_ && key == connectionKey_) return SendOn(object, parts.nScheme == INTERNET_SCHEME_HTTPS, headers, reply);
    CloseConnection();
    connection_ = InternetConnectW(session_, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                   0, 0);
    if (!connection_) {
        sendError_ = GetLastError();
        return false;
    }
    connectionKey_ = key;
    // Time-outs set on the connection handle reach the socket under Wine as
    // well; set on the session they are ignored there.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
        DWORD timeout = kConnectTimeoutMs;
        InternetSetOptionW(connection_, option, &timeout, sizeof(timeout));
    }
    DWORD receiveTimeout = kReceiveTimeoutMs;
    InternetSetOptionW(connection_, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof(receiveTimeout));
    return SendOn(object, parts.nScheme == INTERNET_SCHEME_HTTPS, headers, reply);
}

bool HttpSource::SendOn(const std::wstring& object, bool secure, const std::string& headers, HttpReply* reply) {

    // Never from or into the WinINet cache: a cached body would bypass the
    // range and validator checks. Certificates are checked as usual; do not
    // add the INTERNET_FLAG_IGNORE_CERT_* flags.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    request_ = HttpOpenRequestW(connection_, L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0);
    std::wstring wideHeaders = Widen(headers);
    if (!request_ || !HttpSendRequestW(request_, wideHeaders.empty() ? nullptr : wideHeaders.c_str(),
                                       DWORD(wideHeaders.size()), nullptr, 0)) {
        sendError_ = GetLastError();
        CloseRequest();
        return false;
    }
    sendError_ = 0;
    *reply = HttpReply();
    DWORD status = 0, size = sizeof(status), index = 0;
    if (!HttpQueryInfoW(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index)) {
        CloseRequest();
        return false;
    }
    reply->status = status;
    std::string text;
    if (QueryText(request_, HTTP_QUERY_CONTENT_LENGTH, &text))
        reply->hasLength = ParseDecimalU64(text, &reply->length);
    if (QueryText(request_, HTTP_QUERY_CONTENT_RANGE, &text))
        reply->hasRange = ParseContentRange(text, &reply->range);
    QueryText(request_, HTTP_QUERY_ETAG, &reply->etag);
    QueryText(request_, HTTP_QUERY_LAST_MODIFIED, &reply->lastModified);
    return true;
}

bool HttpSource::Read(void* buffer, DWORD size, DWORD* got) {
    *got = 0;
    if (!request_) return false;
    return InternetReadFile(request_, buffer, size, got) != FALSE;
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
        return true;
    default:
        return false;
    }
}
