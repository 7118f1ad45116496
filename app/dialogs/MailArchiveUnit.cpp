#include "app/dialogs/MailArchiveUnit.h"
#include "app/dialogs/DialogSeams.h"
#include "app/dialogs/Optionsunit.h"

#include <QApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/dialogs/SourceTargetUnit.h"
#include "app/dialogs/CommentUnit.h"
#include "app/core/MainCore.h"
#include "app/desktop/MyMapi.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace {
void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}
const char* const kNoSettings =
    "Before sending the archive as email, please go to Options\n\rdialog (F4) and change your mail settings, "
    "or deselect \"Use internal\n\rmail client\"";
} // namespace

std::function<void(TMainCore&, QWidget*)> mailcore::ShowOptionsDialog;

bool mailcore::SettingsComplete(const TMainCore& main) {
    return !main.FMailHost.empty() && !main.FMailUserID.empty() && !main.FMailAddress.empty();
}

bool mailcore::SendWithMailProgram(const TMainCore& main) {
    const int status = MapiSendMail(main.FArchiveName, main.FArchiveFile);
    if (status == 0) return true;
    errorBox("The mail program could not be started (xdg-email exit status " + std::to_string(status) + ").");
    return false;
}

void mailcore::MailArchiveCommand(TMainCore& main, QWidget* parent) {
    if (!main.FArchiveOpen) return;
    if (!main.FInternalMail) {
        SendWithMailProgram(main);
        return;
    }
    TMailArchiveForm form(main, parent);
    if (!form.Prepare()) {
        if (ShowOptionsDialog) ShowOptionsDialog(main, parent);
        return;
    }
    form.exec();
}

// ---------------------------------------------------------------- the state

bool TMailState::FormShow(const TMainCore& main) {
    if (!mailcore::SettingsComplete(main)) {
        errorBox(kNoSettings);
        return false;
    }
    From = main.FMailAddress;
    Full = false;
    if (main.FArchiveOpen) FileName = main.FArchiveFile;
    return true;
}

void TMailState::ToEdited(const std::string& text) {
    To = text;
    if (!To.empty()) SendEnabled = true;
}

TSmtpMessage TMailState::Message(const TMainCore& main) const {
    TSmtpMessage m;
    m.FromAddress = main.FMailAddress;
    m.FromName = main.FMailName.empty() ? main.FMailAddress : main.FMailName;
    m.ReplyTo = main.FMailAddress;
    m.To = To;
    m.Cc = Cc;
    m.Bcc = Bcc;
    m.Subject = Subject;
    m.Body = Body;
    m.AttachmentFile = FileName;
    return m;
}

bool TMailState::SendClick(const TMainCore& main) {
    const TSmtpMessage msg = Message(main);
    // Refused here, before the server is contacted at all.
    if (const std::string why = TSmtpClient::Check(msg); !why.empty()) {
        errorBox(why);
        return false;
    }
    auto status = [this](std::string text) {
        Status = std::move(text);
        if (OnStatus) OnStatus();
    };
    TSmtpClient smtp;
    smtp.Host = main.FMailHost;
    smtp.UserID = main.FMailUserID;
    smtp.Port = 25;
    bool connectionFailed = false;
    smtp.OnConnect = [&](TSmtpClient*, const std::string& host) { status("Connecting to " + host + " ..."); };
    smtp.OnSendStart = [&](TSmtpClient*) { status("Sending mail..."); };
    smtp.OnSuccess = [&](TSmtpClient*) { status("Success !"); };
    smtp.OnConnectionFailed = [&](TSmtpClient*) {
        connectionFailed = true;
        status("");
        errorBox("Could not connect to mail server, please check your settings!");
    };
    std::string error;
    if (!smtp.Send(msg, error)) {
        if (!connectionFailed) errorBox(error.empty() ? std::string("The email could not be sent.") : error);
        return false;
    }
    platform::messageBox("Information", "The email was sent successfully !", platform::MsgType::Information,
                         platform::mbOK);
    return true;
}

// ---------------------------------------------------------------- the dialog

TMailArchiveForm::TMailArchiveForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    gbSendOptions = new QGroupBox("Options", this);
    FOptions = new QFormLayout(gbSendOptions);
    auto row = [this](const char* caption, QLabel*& label, QLineEdit*& edit, QWidget* extra = nullptr) {
        label = new QLabel(caption, gbSendOptions);
        edit = new QLineEdit(gbSendOptions);
        if (!extra) {
            FOptions->addRow(label, edit);
            return;
        }
        auto* h = new QHBoxLayout;
        h->addWidget(edit);
        h->addWidget(extra);
        FOptions->addRow(label, h);
    };
    btnGetSource = new QPushButton("...", gbSendOptions);
    btnGetSource->setFixedWidth(28);
    row("From:", lSender, oeSender);
    row("To:", lReceipient, oeReceipient);
    row("Cc:", lCC, oeCC);
    row("Bcc:", lBCC, oeBCC);
    row("Filename:", lFilename, oeFilename, btnGetSource);
    row("Subject:", lSubject, oeSubject);
    gbMsg = new QGroupBox("Message:", this);
    reMsg = new QPlainTextEdit(gbMsg);
    reMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* msgLayout = new QVBoxLayout(gbMsg);
    msgLayout->addWidget(reMsg);
    btnLoadText = new QPushButton("Load text...", this);
    btnAdvanced = new QPushButton("<< Advanced", this);
    btnSend = new QPushButton("Send email", this);
    btnSend->setEnabled(false);
    btnCancel = new QPushButton("&Cancel", this);
    mafStatus = new QStatusBar(this);
    mafStatus->setSizeGripEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnLoadText);
    buttons->addWidget(btnAdvanced);
    buttons->addStretch();
    buttons->addWidget(btnSend);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbSendOptions);
    layout->addWidget(gbMsg, 1);
    layout->addLayout(buttons);
    layout->addWidget(mafStatus);
    resize(460, 406);

    State.OnStatus = [this] {
        mafStatus->showMessage(QString::fromStdString(State.Status));
        platform::processMessages();
    };
    connect(btnAdvanced, &QPushButton::clicked, this, [this] {
        State.AdvancedClick();
        ApplyLayout();
    });
    connect(oeReceipient, &QLineEdit::textChanged, this, [this](const QString& t) {
        State.ToEdited(t.toStdString());
        btnSend->setEnabled(State.SendEnabled);
    });
    connect(btnGetSource, &QPushButton::clicked, this, [this] {
        const std::string f = ChooseArchiveFile(this, FMain);
        if (f.empty()) return;
        if (platform::fileExists(f))
            oeFilename->setText(QString::fromStdString(f));
        else
            platform::messageBox("Parvex 2000", "This Archive doesn't exist. Do you want to create it now ?",
                                 platform::MsgType::Information, platform::mbOK);
    });
    connect(btnLoadText, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, "Load text from file...", QString(),
                                                       "Textfiles (*.txt);;All files (*)");
        std::string text;
        if (!f.isEmpty() && commentcore::LoadTextFile(f.toStdString(), text))
            reMsg->setPlainText(QString::fromStdString(text));
    });
    connect(btnSend, &QPushButton::clicked, this, &TMailArchiveForm::SendClick);
    connect(btnCancel, &QPushButton::clicked, this, &TMailArchiveForm::reject);
}

bool TMailArchiveForm::Prepare() {
    const bool ok = State.FormShow(FMain);
    setWindowTitle(QString::fromStdString("Mail archive " + FMain.FArchiveName));
    oeSender->setText(QString::fromStdString(State.From));
    oeFilename->setText(QString::fromStdString(State.FileName));
    ApplyLayout();
    return ok;
}

void TMailArchiveForm::ApplyLayout() {
    for (QLineEdit* e : {oeSender, oeCC, oeBCC}) FOptions->setRowVisible(e, State.Full);
    btnAdvanced->setText(QString::fromStdString(State.AdvancedCaption()));
    resize(width(), State.Full ? 468 : 406);
}

void TMailArchiveForm::ToState() {
    auto text = [](const QLineEdit* e) { return e->text().toStdString(); };
    State.To = text(oeReceipient);
    State.Cc = text(oeCC);
    State.Bcc = text(oeBCC);
    State.Subject = text(oeSubject);
    State.FileName = text(oeFilename);
    State.Body = reMsg->toPlainText().toStdString();
}

void TMailArchiveForm::SendClick() {
    ToState();
    btnSend->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool sent = State.SendClick(FMain);
    QApplication::restoreOverrideCursor();
    btnSend->setEnabled(true);
    if (sent) accept();
}

void TMailArchiveForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Mail = [](TDialogHost& host) { mailcore::MailArchiveCommand(host.Core(), host.Window()); };
    mailcore::ShowOptionsDialog = [](TMainCore& main, QWidget* parent) {
        TOptionsForm dlg(main, parent);
        dlg.exec();
    };
});
