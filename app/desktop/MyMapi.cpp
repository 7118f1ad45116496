#include "app/desktop/MyMapi.h"

#include "platform/process.h"

int MapiSendMail(const std::string& subject, const std::string& file) {
    return platform::runProgram({"xdg-email", "--subject", subject, "--attach", file});
}
