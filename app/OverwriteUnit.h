// The question whether an existing file is replaced. It lives as long as the window and
// keeps the last answer between questions; the callers decide when it starts afresh.
// The question itself goes through the UI hooks (a modal box with the five answers), so
// tests script it.
#pragma once
#include <cstdint>
#include <string>

enum TOverwriteAnswer : uint8_t { oaCancel = 0, oaYes = 1, oaYesToAll = 2, oaNo = 3, oaNoToAll = 4 };

class TOverwriteForm {
public:
    // The existing file and the incoming entry, two lines each; filled before ShowModal.
    std::string ReplaceFileText;
    std::string ReplaceWithFileText;
    TOverwriteAnswer Answer = oaNo;

    // Asks and stores the answer; `cancelled` becomes true for Cancel, false otherwise
    // (the main window's FCancelled). A box closed without a button keeps Answer.
    TOverwriteAnswer ShowModal(bool& cancelled);

    static constexpr const char* kCaption = "Confirm file overwrite";
    // The question's text as the window shows it.
    std::string QuestionText() const;
};
