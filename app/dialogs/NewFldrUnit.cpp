#include "app/dialogs/NewFldrUnit.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/DirSelUnit.h"
#include "controls/OfficeEdit.h"
#include "controls/Win2KButton.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

TNewFolderForm::TNewFolderForm(QWidget* parent) : QDialog(parent) {
    setObjectName("NewFolderForm");
    setWindowTitle("Create new folder");
    auto* grid = new QGridLayout(this);
    DirDescr = new QLabel("Actual Dir:", this);
    AktDir = new QLabel(this);
    AktDir->setTextFormat(Qt::PlainText);
    Label1 = new QLabel("New Folder", this);
    NewDir = new TOfficeEdit(this);
    NewDir->setObjectName("NewDir");
    grid->addWidget(DirDescr, 0, 0);
    grid->addWidget(AktDir, 0, 1);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(NewDir, 1, 1);
    auto* buttons = new QHBoxLayout;
    CreateBtn = new TWin2KButton("&Create", this);
    CancelBtn = new TWin2KButton("&Cancel", this);
    CreateBtn->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(CreateBtn);
    buttons->addWidget(CancelBtn);
    grid->addLayout(buttons, 2, 0, 1, 2);
    setMinimumWidth(360);
    connect(CreateBtn, &QPushButton::clicked, this, [this] { CreateBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        Cancelled = 1;
        reject();
    });
}

void TNewFolderForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    AktDir->setText(QFile::decodeName(QByteArray::fromStdString(BaseFolder)));
    NewDir->setFocus();
}

bool TNewFolderForm::Create(const std::string& base, const std::string& name, std::string& path) {
    const bool sound = !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
                       !base.empty() && base[0] == '/';
    path = JoinFolder(base, name);
    if (sound && platform::dirExists(path)) {
        platform::messageBox("Information", "Directory already exists !", platform::MsgType::Information,
                             platform::mbOK);
        return true;
    }
    if (!sound || !platform::dirExists(base) || !platform::makeDir(path)) {
        platform::messageBox("Error", "Can\"t create directory !", platform::MsgType::Error, platform::mbOK);
        return false;
    }
    return true;
}

void TNewFolderForm::CreateBtnClick() {
    std::string path;
    const bool made = Create(BaseFolder, QFile::encodeName(NewDir->text()).toStdString(), path);
    NewFolderPath = path;
    if (!made) return;
    NewDir->clear();
    Cancelled = 0;
    accept();
}
