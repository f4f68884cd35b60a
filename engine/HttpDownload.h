// One plain HTTP GET at a time over WinINet, synchronously on the calling
// thread, writing the body to a file or discarding it.
#pragma once

#include <windows.h>

#include <cstdint>

class IHttpDownloadCallback {
public:
    virtual ~IHttpDownloadCallback() = default;
    // done and total are byte counts of the body (total 0 when not announced).
    virtual int OnHttpProgress(int done, int total, int status) = 0;
};

// Progress statuses reported through IHttpDownloadCallback (not HTTP
// status codes: wininet.h names those HTTP_STATUS_*).
enum HttpProgressStatus {
    HTTP_PROGRESS_OPENED = 2,    // the internet handle is open, before connecting
    HTTP_PROGRESS_ACCEPTED = 4,  // HTTP 200 received, before the body
    HTTP_PROGRESS_RECEIVING = 5, // after the 1st, 11th, 21st ... read of the body
    HTTP_PROGRESS_FINISHED = 6,  // body reading ended
};

class CHttpDownload {
public:
    static const wchar_t kUserAgent[];
    static const DWORD kReadBlock = 1024;

    CHttpDownload() = default;
    virtual ~CHttpDownload() = default;

    // Time-outs in milliseconds; 0 keeps the platform default.
    void SetTimeouts(DWORD connect, DWORD send, DWORD receive);
    void SetTimeout(DWORD ms) { SetTimeouts(ms, ms, ms); }
    void SetCallback(IHttpDownloadCallback* callback) { callback_ = callback; }
    // Largest body accepted, in bytes; 0 accepts any size. A larger body
    // fails the request: announced, it is not read at all; unannounced, the
    // reading stops once it passes the limit.
    void SetBodyLimit(uint64_t bytes) { bodyLimit_ = bytes; }
    // Accepts https as the first address too: the portal's own requests in a
    // build for a portal served over https. Certificate errors still fail.
    void AllowSecure(bool allow) { allowSecure_ = allow; }

    // GETs url; the body goes to filePath (created or replaced), or is
    // discarded when filePath is null. Only plain http is accepted (and
    // https, when allowed above). Redirects
    // are followed (at most kMaxHttpRedirects, http and https only, never
    // from https back to http). True when the server answered 200 and the
    // whole body arrived (and was written).
    bool Download(const wchar_t* url, const wchar_t* filePath);

    // HTTP status of the last request that got as far as sending, else 0.
    DWORD GetLastStatus() const { return lastStatus_; }

private:
    void Report(int done, int total, int status);

    DWORD connectTimeout_ = 0;
    DWORD sendTimeout_ = 0;
    DWORD receiveTimeout_ = 0;
    IHttpDownloadCallback* callback_ = nullptr;  // not owned
    uint64_t bodyLimit_ = 0;
    bool allowSecure_ = false;
    DWORD lastStatus_ = 0;
};

// True when the system reports a modem, LAN or proxy connection and is not in
// offline mode.
bool IsNetworkOnline();
