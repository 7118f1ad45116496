// The mail client the mail dialog sends through: one message with an optional attachment to
// the configured SMTP server, over libcurl. The server is greeted with the user id
// ("HELO <id>"), the envelope names every To, Cc and Bcc address, and the message itself
// never shows the Bcc addresses. Sending keeps the window live: the transfer runs in steps
// with the event pump in between.
#pragma once
#include <functional>
#include <string>

struct TSmtpMessage {
    std::string FromAddress, FromName, ReplyTo;
    std::string To, Cc, Bcc; // addresses separated by ',' or ';'
    std::string Subject;
    std::string Mailer = "Parvex 2000 internal mail client";
    std::string Body;           // UTF-8; sent as text/plain, us-ascii when it is plain ASCII
    std::string AttachmentFile; // empty: none
};

class TSmtpClient {
public:
    std::string Host;   // "host" or "host:port"
    std::string UserID; // the name the client greets the server with
    int Port = 25;      // used when Host names none
    long TimeoutSeconds = 60;

    std::function<void(TSmtpClient*, const std::string& host)> OnConnect;
    std::function<void(TSmtpClient*)> OnSendStart;
    std::function<void(TSmtpClient*)> OnSuccess;
    std::function<void(TSmtpClient*)> OnConnectionFailed;

    // Checks the message (no line breaks in header fields, at least one recipient, an
    // attachment that exists and is not empty) and sends it. False with `error` set when it
    // was not sent; a refused or failed connection also raises OnConnectionFailed.
    bool Send(const TSmtpMessage& msg, std::string& error);

    // The checks Send makes before connecting; "" when the message may go.
    static std::string Check(const TSmtpMessage& msg);
    // The addresses of a To/Cc/Bcc field.
    static std::vector<std::string> SplitAddresses(const std::string& field);
    // RFC 5322 date of the given Unix time in the local zone.
    static std::string MailDate(long long unixTime);
};
