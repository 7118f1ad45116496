// The question whether an existing file is replaced, without a widget: the two files and the
// last answer. It lives as long as the main window, keeping the last answer between
// questions; the callers decide when it starts afresh. The core asks through the platform's
// message box (so tests script it); the window asks with the dialog of OverwriteUnit.h.
#pragma once
#include <cstdint>
#include <string>

enum TOverwriteAnswer : uint8_t { oaCancel = 0, oaYes = 1, oaYesToAll = 2, oaNo = 3, oaNoToAll = 4 };

class TOverwriteState {
public:
    // The existing file and the incoming entry, two lines each; filled before asking.
    std::string ReplaceFileText;
    std::string ReplaceWithFileText;
    TOverwriteAnswer Answer = oaNo;

    // Asks with a message box of five buttons and stores the answer; `cancelled` becomes
    // true for Cancel, false otherwise (the main window's FCancelled). A box closed without
    // a button changes neither.
    TOverwriteAnswer ShowModal(bool& cancelled);
    // What a button of the question does to the answer and to `cancelled`.
    void Choose(TOverwriteAnswer answer, bool& cancelled);

    static constexpr const char* kCaption = "Confirm file overwrite";
    // The question's text as the message box shows it.
    std::string QuestionText() const;
};
