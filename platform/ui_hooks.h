// The engine and the zip front-end never show a window or block on a user themselves:
// everything they need from one goes through these hooks. The application points them
// at Qt; tests point them at scripted answers. The defaults answer at once.
#pragma once
#include <functional>
#include <string>

namespace platform {

enum class MsgType { Information, Warning, Error, Confirmation, Custom };

// Buttons a message box offers (bit flags).
enum MsgButton : unsigned {
    mbOK = 1u << 0,
    mbCancel = 1u << 1,
    mbYes = 1u << 2,
    mbNo = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbYesToAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbAll = 1u << 9,
};

enum class ModalResult { None, Ok, Cancel, Yes, No, Abort, Retry, Ignore, YesToAll, NoToAll, All };

// The small password window: its caption and prompt, the captions of its two buttons and
// the longest answer it takes.
struct PasswordQuestion {
    std::string caption, prompt, okText, cancelText;
    size_t maxLength = 80;
};

struct UiHooks {
    // Lets pending window messages through (progress, a Cancel button).
    std::function<void()> processMessages;
    // Shows a message box and returns the button chosen.
    std::function<ModalResult(const std::string& caption, const std::string& text, MsgType type,
                              unsigned buttons)>
        messageBox;
    // Asks for one line of text (a password when `secret`); false when cancelled.
    std::function<bool(const std::string& caption, const std::string& prompt, std::string& value,
                       bool secret)>
        askText;
    // Shows the password window; false when it was cancelled.
    std::function<bool(const PasswordQuestion& question, std::string& value)> askPassword;
    // The desktop's description of a file's type ("ZIP archive"); empty when unknown.
    std::function<std::string(const std::string& path)> fileTypeName;
};

// The hooks in force. Unset members fall back to the non-blocking defaults below.
UiHooks& uiHooks();

void processMessages();
// Default answer without a hook: Ok, else No, else Cancel, else the first button offered.
ModalResult messageBox(const std::string& caption, const std::string& text, MsgType type, unsigned buttons);
bool askText(const std::string& caption, const std::string& prompt, std::string& value, bool secret);
// Without its own hook the password window is a secret askText; the answer is cut to
// the question's longest length either way.
bool askPassword(const PasswordQuestion& question, std::string& value);
std::string fileTypeName(const std::string& path);

// Replaces the hooks for a scope (tests) and restores the previous ones afterwards.
class ScopedUiHooks {
public:
    explicit ScopedUiHooks(UiHooks hooks) : saved_(uiHooks()) { uiHooks() = std::move(hooks); }
    ~ScopedUiHooks() { uiHooks() = saved_; }
    ScopedUiHooks(const ScopedUiHooks&) = delete;
    ScopedUiHooks& operator=(const ScopedUiHooks&) = delete;

private:
    UiHooks saved_;
};

} // namespace platform
