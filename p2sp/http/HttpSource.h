// One HTTP(S) source reached through WinINet: a session per task and one
// request at a time. WinINet brings the system proxy settings and TLS; its
// reads are fast with large buffers (1 MiB), which the task uses. Redirects
// are followed here, never from https to http.
#pragma once

#include "p2sp/http/HttpHeaders.h"
#include "base/ScopedInternetHandle.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

struct HttpReply {
    DWORD status = 0;
    bool hasLength = false;
    uint64_t length = 0;
    bool hasRange = false;
    ContentRange range;
    std::string etag;
    std::string lastModified;
};

class HttpSource {
public:
    HttpSource() = default;
    ~HttpSource();
    HttpSource(const HttpSource&) = delete;
    HttpSource& operator=(const HttpSource&) = delete;

    bool Open();
    // Sends a GET with the extra header lines ("Name: value\r\n" each),
    // following redirects. False on a network failure (no reply at all) or a
    // redirect refused (from https to http, or too many); the reply's status
    // may be any code.
    bool Send(const std::wstring& url, const std::string& headers, HttpReply* reply);
    // Reads up to `size` bytes of the body. False on a network failure; *got 0
    // at the end of the body.
    bool Read(void* buffer, DWORD size, DWORD* got);
    // After a failed Send: true when retrying cannot help (a certificate
    // that does not verify, a malformed URL or scheme, a refused redirect).
    bool FailureIsPermanent() const;
    // Ends the request (an unread body drops its socket); the connection
    // handle stays for the next request to the same server.
    void CloseRequest();
    void CloseConnection();

private:
    // One request to `url`, redirects not followed; *secure tells https.
    bool SendOnce(const std::wstring& url, const std::string& headers, HttpReply* reply, bool* secure);
    bool SendOn(const std::wstring& object, bool secure, const std::string& headers, HttpReply* reply);

    ScopedInternetHandle session_;
    ScopedInternetHandle connection_;
    ScopedInternetHandle request_;
    std::wstring connectionKey_;      // scheme, port and host of connection_
    DWORD sendError_ = 0;
};
