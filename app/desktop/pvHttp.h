// The update check's HTTP client: one GET over libcurl, http and https only, with a time
// limit and a cap on the body, so a slow or hostile server can neither hang nor flood us.
// HttpGet is synchronous; TPvHttp runs it on a worker thread and hands the answer to its
// events on the thread that owns it, so the window never waits for a server.
#pragma once
#include <QObject>
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

struct THttpResult {
    bool ok = false;   // a 2xx answer whose body fitted the cap
    long status = 0;   // the HTTP status, 0 without an answer
    std::string body;  // the body (only when ok)
    std::string error; // why not ok
};

THttpResult HttpGet(const std::string& url, long timeoutMs = 5000, size_t maxBody = 64 * 1024);

class TPvHttp : public QObject {
public:
    explicit TPvHttp(QObject* parent = nullptr) : QObject(parent) {}
    // Waits for a running request (at most its time-out); its events are not raised then.
    ~TPvHttp() override;

    long TimeOut = 5000;        // ms
    size_t MaxBody = 64 * 1024; // bytes
    // Raised on the owner's thread when a request ends: the body of a 2xx answer, or why
    // there was none.
    std::function<void(TPvHttp& sender, const std::string& body)> OnSuccess;
    std::function<void(TPvHttp& sender, const std::string& error)> OnFailure;

    // Starts a GET of `url`; false (nothing started) while another request runs.
    bool Get(const std::string& url);
    bool Busy() const { return FBusy; }

private:
    void Finished(const THttpResult& result);
    std::thread FThread;
    std::atomic<bool> FBusy{false};
};
