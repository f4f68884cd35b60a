#include "HttpSource.h"


namespace {

// Time-outs bound how long a stalled server can hold a read, and with it how
// long a stop request waits on a link that delivers nothing.
constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kReceiveTimeoutMs = 5000;

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
    CloseRequest();
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

bool HttpSource::Send(const std::wstring& url, const std::string& headers, HttpReply* reply) {
    CloseRequest();
    // Never from or into the WinINet cache: a cached body would bypass the
    // range and validator checks. Certificates are checked as usual; do not
    // add the INTERNET_FLAG_IGNORE_CERT_* flags.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;
    std::wstring wideHeaders = Widen(headers);
    request_ = InternetOpenUrlW(session_, url.c_str(), wideHeaders.empty() ? nullptr : wideHeaders.c_str(),
                                DWORD(wideHeaders.size()), flags, 0);
    if (!request_) {
        sendError_ = GetLastError();
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
