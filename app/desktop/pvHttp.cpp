#include "app/desktop/pvHttp.h"

#include <QMetaObject>
#include <curl/curl.h>

namespace {

struct Sink {
    std::string data;
    size_t cap;
    bool tooLong = false;
};

size_t onData(char* p, size_t size, size_t n, void* user) {
    auto* s = static_cast<Sink*>(user);
    const size_t len = size * n;
    if (s->data.size() + len > s->cap) {
        s->tooLong = true;
        return 0; // stops the transfer
    }
    s->data.append(p, len);
    return len;
}

} // namespace

THttpResult HttpGet(const std::string& url, long timeoutMs, size_t maxBody) {
    THttpResult r;
    static const bool global = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    CURL* c = global ? curl_easy_init() : nullptr;
    if (!c) {
        r.error = "The HTTP client could not start.";
        return r;
    }
    Sink sink{{}, maxBody};
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
    curl_easy_cleanup(c);
    if (sink.tooLong) {
        r.error = "The answer was larger than " + std::to_string(maxBody) + " bytes.";
    } else if (rc != CURLE_OK) {
        r.error = *errbuf ? errbuf : curl_easy_strerror(rc);
    } else if (r.status < 200 || r.status > 299) {
        r.error = "The server answered " + std::to_string(r.status) + ".";
    } else {
        r.ok = true;
        r.body = std::move(sink.data);
    }
    return r;
}

TPvHttp::~TPvHttp() {
    // The worker's answer was posted to this object; Qt drops it with the object.
    if (FThread.joinable()) FThread.join();
}

bool TPvHttp::Get(const std::string& url) {
    if (FBusy) return false;
    if (FThread.joinable()) FThread.join();
    FBusy = true;
    const long timeOut = TimeOut;
    const size_t maxBody = MaxBody;
    FThread = std::thread([this, url, timeOut, maxBody] {
        THttpResult r = HttpGet(url, timeOut, maxBody);
        QMetaObject::invokeMethod(
            this, [this, r] { Finished(r); }, Qt::QueuedConnection);
    });
    return true;
}

void TPvHttp::Finished(const THttpResult& result) {
    if (FThread.joinable()) FThread.join();
    FBusy = false;
    if (result.ok) {
        if (OnSuccess) OnSuccess(*this, result.body);
    } else if (OnFailure) {
        OnFailure(*this, result.error);
    }
}
