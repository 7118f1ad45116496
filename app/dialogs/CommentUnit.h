// The comment dialog of an open zip archive: the caller fills the edit with the archive's
// comment; "Set comment" writes the edit's text through the zip component, whose messages
// (a comment that is too long) are shown, and closes only when it was written.
#pragma once
#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;
class TMainCore;

namespace commentcore {
// Reads a text file for the edit; false (the box shown) when it cannot be read.
bool LoadTextFile(const std::string& path, std::string& text);
} // namespace commentcore

class TCommentForm : public QDialog {
    Q_OBJECT
public:
    explicit TCommentForm(TMainCore& main, QWidget* parent = nullptr);

    QPlainTextEdit* reComment = nullptr;
    QPushButton *CloseBtn = nullptr, *btnClear = nullptr, *btnInsert = nullptr, *btnCancel = nullptr;

    // "&Set comment": true when the comment was written (the dialog then closes).
    bool SetCommentClick();
    // "&Insert from file" with the file already chosen.
    void InsertFile(const std::string& path);

private:
    TMainCore& FMain;
};
