#include "platform/ui_text.h"

namespace platform {

EditTextHook& editTextHook() {
    static EditTextHook hook;
    return hook;
}

bool editText(const std::string& caption, const std::string& prompt, std::string& value) {
    if (auto& f = editTextHook()) return f(caption, prompt, value);
    return false;
}

} // namespace platform
