#include "p2sp/swarm/TrackerFetch.h"

#include "base/ScopedHandle.h"

#include <wininet.h>

#include <atomic>
#include <mutex>
#include <set>

namespace {

constexpr DWORD kReadBytes = 4096;

// Where a read lands. WinINet may still write it after the request was
// cancelled (under Wine a cancelled read goes on until data comes), so a
// read cancelled while pending leaves its target allocated for good: a few
// KiB per announce cut short, never memory WinINet writes after it was freed.
struct ReadTarget {
    char data[kReadBytes];
    DWORD got = 0;
};

// What WinINet's worker threads report back to the thread that waits.
struct Exchange {
    ScopedHandle completed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // auto reset
    DWORD error = 0;  // of the last completion
    bool Valid() const { return completed.valid(); }
};

// A callback may come late, from a worker thread, for an exchange already
// gone: it acts only on exchanges still listed here.
std::mutex exchangesLock;
std::set<Exchange*> liveExchanges;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    if (status != INTERNET_STATUS_REQUEST_COMPLETE || !context) return;
    std::lock_guard<std::mutex> hold(exchangesLock);
    Exchange* x = reinterpret_cast<Exchange*>(context);
    if (!liveExchanges.count(x)) return;
    const INTERNET_ASYNC_RESULT* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    x->error = result && result->dwResult ? 0 : (result && result->dwError ? result->dwError : DWORD(ERROR_GEN_FAILURE));
    SetEvent(x->completed.get());
}

enum class Wait { kDone, kFailed, kCut };

// After a call that returned `ok`: done at once, or pending until the
// completion, the stop or the deadline (then it is still pending: kCut).
Wait Settle(BOOL ok, Exchange* x, HANDLE stop, ULONGLONG deadline) {
    if (ok) return Wait::kDone;
    if (GetLastError() != ERROR_IO_PENDING) return Wait::kFailed;
    const ULONGLONG now = GetTickCount64();
    HANDLE events[2] = {x->completed.get(), stop};
    const DWORD woke = now >= deadline ? WAIT_TIMEOUT
                                       : WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, DWORD(deadline - now));
    if (woke != WAIT_OBJECT_0) return Wait::kCut;
    std::lock_guard<std::mutex> hold(exchangesLock);
    return x->error == 0 ? Wait::kDone : Wait::kFailed;
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

// Closes a handle after making sure no callback comes from it any more.
void CloseQuietly(HINTERNET h) {
    if (!h) return;
    InternetSetStatusCallbackW(h, nullptr);
    InternetCloseHandle(h);
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
    {
        std::lock_guard<std::mutex> hold(exchangesLock);
        liveExchanges.insert(x);
    }
    ReadTarget* target = new ReadTarget;
    bool readPending = false;
    bool ok = false;
    HINTERNET session = InternetOpenW(L"QelvoP2SP/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                      INTERNET_FLAG_ASYNC);
    HINTERNET connection = nullptr, request = nullptr;
    if (session) {
        InternetSetStatusCallbackW(session, OnStatus);
        const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(x);
        connection = InternetConnectW(session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context);
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (secure) flags |= INTERNET_FLAG_SECURE;  // certificates checked: no INTERNET_FLAG_IGNORE_CERT_*
        if (connection)
            request = HttpOpenRequestW(connection, L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, context);
    }
    if (request) {
        ResetEvent(x->completed.get());
        Wait w = Settle(HttpSendRequestW(request, nullptr, 0, nullptr, 0), x, stop, deadline);
        DWORD status = 0, size = sizeof(status), index = 0;
        if (w == Wait::kDone &&
            HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index) &&
            status == 200) {
            for (;;) {
                target->got = 0;
                ResetEvent(x->completed.get());
                w = Settle(InternetReadFile(request, target->data, kReadBytes, &target->got), x, stop, deadline);
                if (w == Wait::kCut) readPending = true;
                if (w != Wait::kDone) break;
                if (target->got == 0) {
                    ok = true;
                    break;
                }
                if (body->size() + target->got > maxBytes) break;
                body->append(target->data, target->got);
            }
        }
    }
    // Closing a handle while its operation is pending cancels it.
    CloseQuietly(request);
    CloseQuietly(connection);
    CloseQuietly(session);
    {
        std::lock_guard<std::mutex> hold(exchangesLock);
        liveExchanges.erase(x);
    }
    delete x;
    if (!readPending) delete target;
    if (!ok) body->clear();
    return ok;
}
