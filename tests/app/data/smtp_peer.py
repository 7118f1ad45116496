# A local SMTP server for the mail tests (aiosmtpd, as Debian installs it for /usr/bin/python3),
# and a reader of what it received (python3's email module).
#   smtp_peer.py serve DIR   listen on 127.0.0.1 at a free port written to DIR/port; each message
#                            goes to DIR/greeting, DIR/from, DIR/rcpt, DIR/data; stops when DIR/stop appears
#   smtp_peer.py parse DIR   prints the headers of DIR/data and writes the attachment to DIR/attachment
import os, socket, sys, time, email, email.policy

def serve(d):
    from aiosmtpd.controller import Controller
    class Handler:
        async def handle_DATA(self, server, session, envelope):
            open(os.path.join(d, "greeting"), "w").write(session.host_name or "")
            open(os.path.join(d, "from"), "w").write(envelope.mail_from)
            open(os.path.join(d, "rcpt"), "w").write("\n".join(envelope.rcpt_tos))
            open(os.path.join(d, "data"), "wb").write(envelope.original_content or envelope.content)
            return "250 OK"
    s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
    c = Controller(Handler(), hostname="127.0.0.1", port=port)
    c.start()
    open(os.path.join(d, "port.tmp"), "w").write(str(port))
    os.rename(os.path.join(d, "port.tmp"), os.path.join(d, "port"))
    for _ in range(1200):
        if os.path.exists(os.path.join(d, "stop")): break
        time.sleep(0.05)
    c.stop()

def parse(d):
    msg = email.message_from_bytes(open(os.path.join(d, "data"), "rb").read(), policy=email.policy.default)
    for k in ["From", "Reply-To", "To", "Cc", "Bcc", "Subject", "Date", "X-Mailer"]:
        if msg[k] is not None: print(k + ": " + str(msg[k]))
    for part in msg.walk():
        if part.get_content_disposition() == "attachment" or part.get_filename():
            open(os.path.join(d, "attachment"), "wb").write(part.get_payload(decode=True))
        elif part.get_content_type() == "text/plain":
            print("Body: " + part.get_content().rstrip("\r\n"))

{"serve": serve, "parse": parse}[sys.argv[1]](sys.argv[2])
