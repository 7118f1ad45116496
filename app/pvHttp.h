// The update check's HTTP client: one GET over libcurl, http and https only, with a time
// limit and a cap on the body, so a slow or hostile server can neither hang nor flood us.
// Synchronous: the window runs it on a worker thread and takes the answer on its own.
#pragma once
#include <cstddef>
#include <string>

struct THttpResult {
    bool ok = false;   // a 2xx answer whose body fitted the cap
    long status = 0;   // the HTTP status, 0 without an answer
    std::string body;  // the body (only when ok)
    std::string error; // why not ok
};

THttpResult HttpGet(const std::string& url, long timeoutMs = 5000, size_t maxBody = 64 * 1024);
