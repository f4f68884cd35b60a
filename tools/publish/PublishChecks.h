// The refusals that need no file: identifier, URLs, switches. Each returns
// an empty string when the value is sound, else what is wrong with it.
#pragma once

#include "tools/publish/PublishOptions.h"

#include <string>

// 1 to 38 decimal digits (what the downloader keeps of its identifier).
std::string CheckGameId(const std::string& id);

// An absolute http:// or https:// URL with a host and no spaces or control
// characters. `what` names the value in the message.
std::string CheckHttpUrl(const std::string& url, const std::string& what);

// A tracker: http, https or udp.
std::string CheckTrackerUrl(const std::string& url);

// A file name that is the same in a URL and on disk: letters, digits, '.',
// '-', '_', not starting with a dot.
std::string CheckServedFileName(const std::string& name, const std::string& what);

// Everything above over the options (the base URL without its trailing
// slash); the first fault found.
std::string CheckPublishOptions(const PublishOptions& options);

// The path of a URL after its host ("" for none), and its scheme and host.
std::string UrlPath(const std::string& url);
std::string UrlOrigin(const std::string& url);
