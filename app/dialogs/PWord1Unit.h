// The password dialog, made once and reused: in set mode (the add dialog's Password button)
// the password is typed twice and becomes FArchivePassword with FUsePassword; in ask mode
// (FAskPassword, a component needs a password to extract) the typed text becomes
// FArchivePassword. What each button does lives in TPWordState, which needs no widget.
#pragma once
#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainCore;

class TPWordState {
public:
    static constexpr const char* kSetCaption = "Set password";
    static constexpr const char* kSetHint = "Please reenter the same password to validate it.";
    static constexpr const char* kAskCaption = "Password needed";
    static constexpr const char* kAskHint = "Please enter password to extract files.";
    static constexpr const char* kReenterCaption = "Reenter password";
    static constexpr const char* kMismatch = "The password you typed is not the same as before";

    // 1 while the first of the two entries is expected.
    int FirstEntry = 1;
    std::string FirstPassword, SecondPassword;
    // What the widgets show.
    std::string Caption = kSetCaption;
    std::string Hint = kSetHint;
    bool HintVisible = false;
    std::string Text; // the edit
    bool Masked = true;

    // The dialog comes up (the mode from FAskPassword).
    void FormShow(const TMainCore& main);
    // OK (or Enter) with Text typed; true when the dialog closes.
    bool OkClick(TMainCore& main);
    // Cancel (or the Escape key).
    void CancelClick(TMainCore& main);

private:
    void RestoreSetTexts();
};

class TPWordForm : public QDialog {
    Q_OBJECT
public:
    TPWordForm(TMainCore& main, QWidget* parent = nullptr);
    // Shows the dialog modally in the mode FAskPassword gives.
    void ShowModal();
    TPWordState& State() { return FState; }

    QLabel* PWLabel = nullptr;
    QLineEdit* PWord = nullptr;
    QCheckBox* Mask = nullptr;
    QLabel* PWHint = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override;

private:
    void Sync();
    void OkBtnClick();
    void MaskClick();
    TMainCore& FMain;
    TPWordState FState;
};
