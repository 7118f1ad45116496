#include "app/desktop/SmtpClient.h"

#include <cstring>
#include <ctime>
#include <curl/curl.h>
#include <sys/stat.h>
#include <vector>

#include "platform/ui_hooks.h"

namespace {

bool ascii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string base64(const std::string& in) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
    }
    if (i + 1 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16;
        out += {t[v >> 18], t[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], '='};
    }
    return out;
}

// A header text: as it is when plain ASCII, else one RFC 2047 encoded word.
std::string headerText(const std::string& s) {
    return ascii(s) ? s : "=?UTF-8?B?" + base64(s) + "?=";
}

std::string angle(const std::string& addr) {
    return "<" + addr + ">";
}

struct Curl {
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* rcpt = nullptr;
    curl_slist* headers = nullptr;
    curl_mime* mime = nullptr;
    ~Curl() {
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (mime) curl_mime_free(mime);
        curl_slist_free_all(rcpt);
        curl_slist_free_all(headers);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
    }
};

struct Progress {
    TSmtpClient* client;
    bool started = false;
};

int onProgress(void* p, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* pr = static_cast<Progress*>(p);
    if (!pr->started && ulnow > 0) {
        pr->started = true;
        if (pr->client->OnSendStart) pr->client->OnSendStart(pr->client);
    }
    return 0;
}

} // namespace

std::vector<std::string> TSmtpClient::SplitAddresses(const std::string& field) {
    std::vector<std::string> out;
    std::string cur;
    auto flush = [&] {
        size_t a = cur.find_first_not_of(" \t"), b = cur.find_last_not_of(" \t");
        if (a != std::string::npos) out.push_back(cur.substr(a, b - a + 1));
        cur.clear();
    };
    for (char c : field) {
        if (c == ',' || c == ';')
            flush();
        else
            cur += c;
    }
    flush();
    return out;
}

std::string TSmtpClient::MailDate(long long unixTime) {
    time_t t = static_cast<time_t>(unixTime);
    tm local{};
    localtime_r(&t, &local);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long off = local.tm_gmtoff / 60;
    char sign = off < 0 ? '-' : '+';
    if (off < 0) off = -off;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday],
                  local.tm_mday, months[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, off / 60, off % 60);
    return buf;
}

std::string TSmtpClient::Check(const TSmtpMessage& m) {
    struct Field {
        const char* name;
        const std::string* value;
    } fields[] = {{"From", &m.FromAddress},
                  {"From", &m.FromName},
                  {"Reply-To", &m.ReplyTo},
                  {"To", &m.To},
                  {"Cc", &m.Cc},
                  {"Bcc", &m.Bcc},
                  {"Subject", &m.Subject}};
    for (const auto& f : fields)
        if (f.value->find_first_of("\r\n") != std::string::npos)
            return std::string("The ") + f.name + " field must not hold a line break.";
    for (const std::string* a : {&m.FromAddress, &m.To, &m.Cc, &m.Bcc})
        for (const auto& addr : SplitAddresses(*a))
            if (addr.find_first_of("<>") != std::string::npos) return "Invalid address: " + addr;
    if (SplitAddresses(m.To).empty()) return "Please enter a recipient.";
    if (!m.AttachmentFile.empty()) {
        struct stat st {};
        if (::stat(m.AttachmentFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return "The file \"" + m.AttachmentFile + "\" does not exist.";
        if (st.st_size == 0) return "The file \"" + m.AttachmentFile + "\" is empty.";
    }
    return "";
}

bool TSmtpClient::Send(const TSmtpMessage& m, std::string& error) {
    error = Check(m);
    if (!error.empty()) return false;
    static const bool global = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Curl c;
    if (!global || !c.easy || !c.multi) {
        error = "The mail client could not start.";
        return false;
    }
    std::string host = Host;
    if (host.find(':') == std::string::npos) host += ":" + std::to_string(Port);
    // The URL's path is what curl greets the server with.
    char* user = curl_easy_escape(c.easy, UserID.c_str(), static_cast<int>(UserID.size()));
    const std::string url = "smtp://" + host + "/" + (user ? user : "");
    curl_free(user);
    curl_easy_setopt(c.easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c.easy, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c.easy, CURLOPT_MAIL_FROM, angle(m.FromAddress).c_str());
    for (const std::string* f : {&m.To, &m.Cc, &m.Bcc})
        for (const auto& a : SplitAddresses(*f)) c.rcpt = curl_slist_append(c.rcpt, angle(a).c_str());
    curl_easy_setopt(c.easy, CURLOPT_MAIL_RCPT, c.rcpt);

    const std::string from =
        m.FromName.empty() ? m.FromAddress : headerText(m.FromName) + " " + angle(m.FromAddress);
    auto join = [](const std::string& field) {
        std::string out;
        for (const auto& a : SplitAddresses(field)) out += (out.empty() ? "" : ", ") + a;
        return out;
    };
    std::vector<std::string> hdr = {"Date: " + MailDate(static_cast<long long>(std::time(nullptr))),
                                    "From: " + from, "To: " + join(m.To), "Subject: " + headerText(m.Subject),
                                    "X-Mailer: " + m.Mailer};
    if (!m.ReplyTo.empty()) hdr.push_back("Reply-To: " + m.ReplyTo);
    if (!join(m.Cc).empty()) hdr.push_back("Cc: " + join(m.Cc));
    for (const auto& h : hdr) c.headers = curl_slist_append(c.headers, h.c_str());
    curl_easy_setopt(c.easy, CURLOPT_HTTPHEADER, c.headers);

    c.mime = curl_mime_init(c.easy);
    curl_mimepart* body = curl_mime_addpart(c.mime);
    curl_mime_data(body, m.Body.c_str(), m.Body.size());
    curl_mime_type(body, ascii(m.Body) ? "text/plain; charset=us-ascii" : "text/plain; charset=UTF-8");
    curl_mime_encoder(body, ascii(m.Body) ? "7bit" : "quoted-printable");
    if (!m.AttachmentFile.empty()) {
        curl_mimepart* file = curl_mime_addpart(c.mime);
        curl_mime_filedata(file, m.AttachmentFile.c_str());
        curl_mime_type(file, "application/octet-stream");
        curl_mime_encoder(file, "base64");
    }
    curl_easy_setopt(c.easy, CURLOPT_MIMEPOST, c.mime);
    curl_easy_setopt(c.easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c.easy, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(c.easy, CURLOPT_TIMEOUT, TimeoutSeconds);
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c.easy, CURLOPT_ERRORBUFFER, errbuf);
    Progress pr{this};
    curl_easy_setopt(c.easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c.easy, CURLOPT_XFERINFODATA, &pr);
    curl_easy_setopt(c.easy, CURLOPT_NOPROGRESS, 0L);

    if (OnConnect) OnConnect(this, Host);
    curl_multi_add_handle(c.multi, c.easy);
    int running = 1;
    while (running) {
        if (curl_multi_perform(c.multi, &running) != CURLM_OK) break;
        if (running) curl_multi_poll(c.multi, nullptr, 0, 50, nullptr);
        platform::processMessages();
    }
    CURLcode result = CURLE_FAILED_INIT;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(c.multi, &left))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
    if (result == CURLE_OK) {
        if (OnSuccess) OnSuccess(this);
        return true;
    }
    if (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
        result == CURLE_OPERATION_TIMEDOUT) {
        error = "Could not connect to mail server, please check your settings!";
        if (OnConnectionFailed) OnConnectionFailed(this);
        return false;
    }
    error = *errbuf ? errbuf : curl_easy_strerror(result);
    return false;
}
