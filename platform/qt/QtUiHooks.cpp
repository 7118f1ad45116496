#include "platform/qt/QtUiHooks.h"
#include "platform/ui_text.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "platform/qt/MimeIcons.h"
#include "platform/qt/PasswordDlg.h"
#include "platform/ui_hooks.h"

namespace platform {

namespace {

// Texts of the program use "\r", "\n\r" and "\r\n" as line breaks.
QString displayText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QMessageBox::Icon iconFor(MsgType type) {
    switch (type) {
    case MsgType::Information:
        return QMessageBox::Information;
    case MsgType::Warning:
        return QMessageBox::Warning;
    case MsgType::Error:
        return QMessageBox::Critical;
    case MsgType::Confirmation:
        return QMessageBox::Question;
    case MsgType::Custom:
        return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

ModalResult qtMessageBox(const std::string& caption, const std::string& text, MsgType type,
                         unsigned buttons) {
    QMessageBox box(iconFor(type), QString::fromStdString(caption), displayText(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    struct Map {
        unsigned flag;
        QMessageBox::StandardButton button;
        ModalResult result;
    };
    static const Map map[] = {
        {mbYes, QMessageBox::Yes, ModalResult::Yes},
        {mbNo, QMessageBox::No, ModalResult::No},
        {mbOK, QMessageBox::Ok, ModalResult::Ok},
        {mbCancel, QMessageBox::Cancel, ModalResult::Cancel},
        {mbAbort, QMessageBox::Abort, ModalResult::Abort},
        {mbRetry, QMessageBox::Retry, ModalResult::Retry},
        {mbIgnore, QMessageBox::Ignore, ModalResult::Ignore},
        {mbYesToAll, QMessageBox::YesToAll, ModalResult::YesToAll},
        {mbNoToAll, QMessageBox::NoToAll, ModalResult::NoToAll},
    };
    for (const Map& m : map)
        if (buttons & m.flag) box.addButton(m.button);
    QPushButton* all =
        (buttons & mbAll) ? box.addButton(QObject::tr("All"), QMessageBox::AcceptRole) : nullptr;
    if (buttons == 0) box.addButton(QMessageBox::Ok);
    box.exec();
    if (all && box.clickedButton() == all) return ModalResult::All;
    QMessageBox::StandardButton chosen = box.standardButton(box.clickedButton());
    for (const Map& m : map)
        if (m.button == chosen) return m.result;
    // Closed without a button: the way out the box offers.
    if (buttons & mbCancel) return ModalResult::Cancel;
    if (buttons & mbNo) return ModalResult::No;
    return (buttons & mbOK) ? ModalResult::Ok : ModalResult::None;
}

bool qtAskText(const std::string& caption, const std::string& prompt, std::string& value, bool secret) {
    bool ok = false;
    QString answer = QInputDialog::getText(
        QApplication::activeWindow(), QString::fromStdString(caption), displayText(prompt),
        secret ? QLineEdit::Password : QLineEdit::Normal, QString::fromStdString(value), &ok);
    if (ok) value = answer.toStdString();
    return ok;
}

bool qtEditText(const std::string& caption, const std::string& prompt, std::string& value) {
    bool ok = false;
    QString answer =
        QInputDialog::getMultiLineText(QApplication::activeWindow(), QString::fromStdString(caption),
                                       displayText(prompt), QString::fromStdString(value), &ok);
    if (ok) value = answer.toStdString();
    return ok;
}

} // namespace

void installQtUiHooks() {
    UiHooks& h = uiHooks();
    h.processMessages = [] { QCoreApplication::processEvents(); };
    h.messageBox = qtMessageBox;
    h.askText = qtAskText;
    h.askPassword = TPasswordDlg::Run;
    editTextHook() = qtEditText;
    h.fileTypeName = [](const std::string& path) { return pvMimeTypeName(path); };
}

} // namespace platform
