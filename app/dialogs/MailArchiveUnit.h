// Mailing the open archive, by one of two roads ([Mail] InternalMail): the mail dialog,
// which sends through the SMTP client to the configured server, or the user's own mail
// program through xdg-email. The decisions live in TMailState (no widgets); the dialog
// mirrors it. Header fields with line breaks and attachments that are missing or empty are
// refused before anything is contacted, and only the configured host is.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

#include "app/desktop/SmtpClient.h"

class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class TMainCore;

namespace mailcore {
// Host, user id and address are all set.
bool SettingsComplete(const TMainCore& main);
// The mail program road: xdg-email with the archive attached; a failure (a missing
// xdg-email too) is shown with its exit status. True when it started the compose window.
bool SendWithMailProgram(const TMainCore& main);
// The "Mail Archive..." command: the dialog or the mail program by FInternalMail; with the
// dialog and incomplete settings, the error box and then the options dialog.
void MailArchiveCommand(TMainCore& main, QWidget* parent);
// Shows the options dialog (set by the program when it has one; empty: nothing to show).
extern std::function<void(TMainCore& main, QWidget* parent)> ShowOptionsDialog;
} // namespace mailcore

struct TMailState {
    std::string From, To, Cc, Bcc, Subject, FileName, Body;
    bool Full = false; // the layout with From, Cc and Bcc
    bool SendEnabled = false;
    std::string Status;
    // Called when Status changes (the dialog repaints).
    std::function<void()> OnStatus;

    // The settings check and the fields an opened dialog starts with; false (after the
    // error box) when the settings are incomplete.
    bool FormShow(const TMainCore& main);
    std::string AdvancedCaption() const { return Full ? ">> Advanced" : "<< Advanced"; }
    void AdvancedClick() { Full = !Full; }
    void ToEdited(const std::string& text);
    TSmtpMessage Message(const TMainCore& main) const;
    // Send: true when the mail went (the dialog then closes); failures are shown.
    bool SendClick(const TMainCore& main);
};

class TMailArchiveForm : public QDialog {
    Q_OBJECT
public:
    explicit TMailArchiveForm(TMainCore& main, QWidget* parent = nullptr);

    TMailState State;

    QGroupBox *gbSendOptions = nullptr, *gbMsg = nullptr;
    QFormLayout* FOptions = nullptr;
    QLabel *lSender = nullptr, *lReceipient = nullptr, *lCC = nullptr, *lBCC = nullptr, *lSubject = nullptr,
           *lFilename = nullptr;
    QLineEdit *oeSender = nullptr, *oeReceipient = nullptr, *oeCC = nullptr, *oeBCC = nullptr,
              *oeSubject = nullptr, *oeFilename = nullptr;
    QPushButton *btnGetSource = nullptr, *btnLoadText = nullptr, *btnAdvanced = nullptr, *btnSend = nullptr,
                *btnCancel = nullptr;
    QPlainTextEdit* reMsg = nullptr;
    QStatusBar* mafStatus = nullptr;

    // Fills the fields for the open archive (FormShow); false when the settings are
    // incomplete (the error box was shown).
    bool Prepare();
    void ApplyLayout();
    void SendClick();

public slots:
    void reject() override;

private:
    void ToState();
    TMainCore& FMain;
};
