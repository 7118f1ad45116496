#include "app/dialogs/CommentUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/core/MainCore.h"
#include "platform/ui_hooks.h"

bool commentcore::LoadTextFile(const std::string& path, std::string& text) {
    std::error_code ec;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, ec)) in.open(path, std::ios::binary);
    std::ostringstream s;
    if (in && in.peek() != std::ifstream::traits_type::eof()) s << in.rdbuf();
    if (!in.is_open() || in.bad()) {
        platform::messageBox("Error", "Error loading textfile", platform::MsgType::Error, platform::mbOK);
        return false;
    }
    text = s.str();
    return true;
}

TCommentForm::TCommentForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("ZIP Comment");
    reComment = new QPlainTextEdit(this);
    reComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CloseBtn = new QPushButton("&Set comment", this);
    btnClear = new QPushButton("&Clear", this);
    btnInsert = new QPushButton("&Insert from file", this);
    btnCancel = new QPushButton("&Cancel", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {CloseBtn, btnClear, btnInsert}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reComment);
    layout->addLayout(buttons);
    resize(460, 300);

    connect(CloseBtn, &QPushButton::clicked, this, [this] {
        if (SetCommentClick()) accept();
    });
    connect(btnClear, &QPushButton::clicked, reComment, &QPlainTextEdit::clear);
    connect(btnInsert, &QPushButton::clicked, this, [this] {
        const QString f =
            QFileDialog::getOpenFileName(this, QString(), QString(), "Text files (*.txt);;All files (*)");
        if (!f.isEmpty()) InsertFile(f.toStdString());
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TCommentForm::SetCommentClick() {
    return FMain.SaveArchiveComment(reComment->toPlainText().toStdString());
}

void TCommentForm::InsertFile(const std::string& path) {
    std::string text;
    if (commentcore::LoadTextFile(path, text)) reComment->setPlainText(QString::fromStdString(text));
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Comment = [](TDialogHost& host) {
        // Only zip archives carry a comment the zip component writes.
        if (host.Core().FHandlerKind != hkZipFront) return;
        TCommentForm dlg(host.Core(), host.Window());
        dlg.reComment->setPlainText(QString::fromStdString(host.Core().ArchiveComment()));
        dlg.exec();
    };
});
