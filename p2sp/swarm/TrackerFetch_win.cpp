#include "p2sp/swarm/TrackerFetch.h"

#include "base/ScopedHandle.h"

#include <wininet.h>

#include <atomic>
#include <vector>

namespace {

constexpr DWORD kClosingWaitMs = 5000;  // for WinINet to let go of a cancelled request
constexpr DWORD kReadBytes = 16384;

// What WinINet's worker threads report back. It lives on the heap until
// every handle that carries it has said it is closing; should that never
// come, it is left allocated rather than freed under a callback.
struct Exchange {
    ScopedHandle completed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // auto reset
    ScopedHandle closed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<DWORD> error{0};
    std::atomic<int> open{0};  // handles carrying this context, not yet closing
    // Where a pending read lands: kept here, since WinINet writes it later.
    std::vector<char> buffer = std::vector<char>(kReadBytes);
    DWORD got = 0;
    bool Valid() const { return completed.valid() && closed.valid(); }
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    Exchange* x = reinterpret_cast<Exchange*>(context);
    if (!x) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const INTERNET_ASYNC_RESULT* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        x->error = result && result->dwResult ? 0 : (result && result->dwError ? result->dwError : DWORD(ERROR_GEN_FAILURE));
        SetEvent(x->completed.get());
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        if (--x->open == 0) SetEvent(x->closed.get());
    }
}

enum class Wait { kDone, kFailed, kStopped };

// After a call that returned `ok`: done at once, or pending until the
// completion, the stop or the deadline.
Wait Settle(BOOL ok, Exchange* x, HANDLE stop, ULONGLONG deadline) {
    if (ok) return Wait::kDone;
    if (GetLastError() != ERROR_IO_PENDING) return Wait::kFailed;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return Wait::kStopped;
    HANDLE events[2] = {x->completed.get(), stop};
    const DWORD woke = WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, DWORD(deadline - now));
    if (woke != WAIT_OBJECT_0) return Wait::kStopped;
    return x->error.load() == 0 ? Wait::kDone : Wait::kFailed;
}

bool Crack(const std::wstring& url, std::wstring* host, INTERNET_PORT* port, std::wstring* object, bool* secure) {
    URL_COMPONENTSW parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!InternetCrackUrlW(url.c_str(), DWORD(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    host->assign(parts.lpszHostName, parts.dwHostNameLength);
    *port = parts.nPort;
    object->assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    object->append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object->empty()) *object = L"/";
    *secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return !host->empty();
}

}  // namespace

bool FetchTrackerReply(const std::string& url, HANDLE stop, DWORD timeoutMs, size_t maxBytes, std::string* body) {
    body->clear();
    const std::wstring wide(url.begin(), url.end());  // percent-encoded: ASCII only
    std::wstring host, object;
    INTERNET_PORT port = 0;
    bool secure = false;
    if (!Crack(wide, &host, &port, &object, &secure)) return false;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;

    Exchange* x = new Exchange;
    if (!x->Valid()) {
        delete x;
        return false;
    }
    HINTERNET session = InternetOpenW(L"QelvoP2SP/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                      INTERNET_FLAG_ASYNC);
    if (!session) {
        delete x;
        return false;
    }
    InternetSetStatusCallbackW(session, OnStatus);
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(x);
    HINTERNET connection = InternetConnectW(session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                            context);
    HINTERNET request = nullptr;
    if (connection) {
        ++x->open;
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (secure) flags |= INTERNET_FLAG_SECURE;  // certificates checked: no INTERNET_FLAG_IGNORE_CERT_*
        request = HttpOpenRequestW(connection, L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, context);
        if (request) ++x->open;
    }

    bool ok = false;
    if (request) {
        ResetEvent(x->completed.get());
        Wait w = Settle(HttpSendRequestW(request, nullptr, 0, nullptr, 0), x, stop, deadline);
        DWORD status = 0, size = sizeof(status), index = 0;
        if (w == Wait::kDone &&
            HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index) &&
            status == 200) {
            for (;;) {
                x->got = 0;
                ResetEvent(x->completed.get());
                w = Settle(InternetReadFile(request, x->buffer.data(), kReadBytes, &x->got), x, stop, deadline);
                if (w != Wait::kDone) break;
                if (x->got == 0) {
                    ok = true;
                    break;
                }
                if (body->size() + x->got > maxBytes) break;
                body->append(x->buffer.data(), x->got);
            }
        }
    }
    // Closing a handle while its operation is pending cancels it; WinINet
    // then reports each handle closing, the last word about it.
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    const bool released = x->open.load() == 0 || WaitForSingleObject(x->closed.get(), kClosingWaitMs) == WAIT_OBJECT_0;
    InternetSetStatusCallbackW(session, nullptr);
    InternetCloseHandle(session);
    if (released) delete x;
    if (!ok) body->clear();
    return ok;
}
