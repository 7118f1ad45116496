// Handing the archive to the user's own mail program: xdg-email opens its compose window
// with the archive attached. Run with an argument list, never through a shell.
#pragma once
#include <string>

// Runs `xdg-email --subject <subject> --attach <file>` and waits for it; its exit status,
// or 127 when it cannot be started.
int MapiSendMail(const std::string& subject, const std::string& file);
