#include "platform/qt/PasswordDlg.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TPasswordDlg::TPasswordDlg(const platform::PasswordQuestion& question, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(question.caption));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont f("Arial");
    f.setPixelSize(12);
    f.setBold(true);
    setFont(f);
    setFixedSize(344, 137);
    Label = new QLabel(QString::fromStdString(question.prompt), this);
    Label->setGeometry(20, 8, 297, 18);
    Edit = new QLineEdit(this);
    Edit->setGeometry(20, 40, 297, Edit->sizeHint().height());
    Edit->setEchoMode(QLineEdit::Password);
    Edit->setMaxLength(static_cast<int>(question.maxLength));
    OkBtn = new QPushButton(QString::fromStdString(question.okText), this);
    OkBtn->setGeometry(44, 72, 90, 28);
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QString::fromStdString(question.cancelText), this);
    CancelBtn->setGeometry(205, 72, 90, 28);
    connect(OkBtn, &QPushButton::clicked, this, [this] {
        Accepted = true;
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    if (QScreen* s = QApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
}

bool TPasswordDlg::Run(const platform::PasswordQuestion& question, std::string& value) {
    TPasswordDlg dlg(question, QApplication::activeWindow());
    dlg.exec();
    value = dlg.Accepted ? dlg.Edit->text().toStdString() : std::string();
    return dlg.Accepted;
}
