#include "platform/ui_hooks.h"

namespace platform {

UiHooks& uiHooks() {
    static UiHooks hooks;
    return hooks;
}

void processMessages() {
    if (auto& f = uiHooks().processMessages) f();
}

ModalResult messageBox(const std::string& caption, const std::string& text, MsgType type, unsigned buttons) {
    if (auto& f = uiHooks().messageBox) return f(caption, text, type, buttons);
    if (buttons & mbOK) return ModalResult::Ok;
    if (buttons & mbNo) return ModalResult::No;
    if (buttons & mbCancel) return ModalResult::Cancel;
    if (buttons & mbYes) return ModalResult::Yes;
    if (buttons & mbAbort) return ModalResult::Abort;
    if (buttons & mbRetry) return ModalResult::Retry;
    if (buttons & mbIgnore) return ModalResult::Ignore;
    return ModalResult::None;
}

bool askText(const std::string& caption, const std::string& prompt, std::string& value, bool secret) {
    if (auto& f = uiHooks().askText) return f(caption, prompt, value, secret);
    return false;
}

bool askPassword(const PasswordQuestion& question, std::string& value) {
    bool ok;
    if (auto& f = uiHooks().askPassword)
        ok = f(question, value);
    else
        ok = askText(question.caption, question.prompt, value, true);
    if (value.size() > question.maxLength) value.resize(question.maxLength);
    return ok;
}

std::string fileTypeName(const std::string& path) {
    if (auto& f = uiHooks().fileTypeName) return f(path);
    return {};
}

} // namespace platform
