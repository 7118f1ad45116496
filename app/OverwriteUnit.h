// The question whether an existing file is replaced. Its state (the two files and the last
// answer) needs no widget and lives as long as the main window, keeping the last answer
// between questions; the callers decide when it starts afresh. The core asks through the
// platform's message box (so tests script it); the window asks with the dialog below.
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;
class TWin2KButton;

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

// The dialog: the two files with a question icon and five buttons. Each button stores its
// answer in the state and `cancelled` and closes; closing by the frame changes neither.
class TOverwriteForm : public QDialog {
    Q_OBJECT
public:
    TOverwriteForm(TOverwriteState& state, bool& cancelled, QWidget* parent = nullptr);
    // Shows the state's texts and waits for an answer; the state's answer afterwards.
    TOverwriteAnswer Ask();

    QLabel* lRelpace = nullptr;
    QLabel* lReplaceFile = nullptr;
    QLabel* lReplaceWith = nullptr;
    QLabel* lReplaceWithFile = nullptr;
    QLabel* imgQuestion = nullptr;
    TWin2KButton* btnYes = nullptr;
    TWin2KButton* btnYestoall = nullptr;
    TWin2KButton* btnNo = nullptr;
    TWin2KButton* btnNotoall = nullptr;
    TWin2KButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormShow();
    TOverwriteState& FState;
    bool& FCancelled;
};
