// Editing a text of several lines through the UI hooks: the application points the hook at
// its editor, tests at scripted answers; without a hook the edit counts as cancelled.
#pragma once
#include <functional>
#include <string>

namespace platform {

using EditTextHook =
    std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)>;
// The hook in force (empty: no editor).
EditTextHook& editTextHook();
// Edits `value`; its line breaks are kept. False when cancelled.
bool editText(const std::string& caption, const std::string& prompt, std::string& value);

} // namespace platform
