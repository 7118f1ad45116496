#include "app/ExtUnit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

#include "app/MainCore.h"
#include "platform/ui_hooks.h"

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString mb(double v) {
    return QString::asprintf("%.2f", v);
}

} // namespace

TExtForm::TExtForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("ExtForm");
    setWindowTitle("Extract files");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Destination Dir:", this));
    InstDir = new QLineEdit(this);
    InstDir->setObjectName("InstDir");
    layout->addWidget(InstDir);

    auto* row = new QHBoxLayout;
    FModel = new QFileSystemModel(this);
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    FModel->setRootPath("/");
    Dir = new QTreeView(this);
    Dir->setObjectName("Dir");
    Dir->setModel(FModel);
    for (int c = 1; c < FModel->columnCount(); ++c) Dir->setColumnHidden(c, true);
    Dir->header()->hide();
    row->addWidget(Dir, 1);

    auto* right = new QVBoxLayout;
    auto* files = new QGroupBox("Files", this);
    auto* fl = new QVBoxLayout(files);
    FAll = new QRadioButton("All files", files);
    FSelected = new QRadioButton("Selected files", files);
    fl->addWidget(FAll);
    fl->addWidget(FSelected);
    right->addWidget(files);
    ZIPDirs = new QCheckBox("Use folder names", this);
    ZIPDirs->setChecked(true);
    Overwrite = new QCheckBox("Overwrite existing files", this);
    UpdateCB = new QCheckBox("Skip older files", this);
    right->addWidget(ZIPDirs);
    right->addWidget(Overwrite);
    right->addWidget(UpdateCB);
    right->addStretch(1);
    btnExt = new QPushButton("&Extract", this);
    btnCancel = new QPushButton("&Cancel", this);
    btnExt->setDefault(true);
    right->addWidget(btnExt);
    right->addWidget(btnCancel);
    row->addLayout(right);
    layout->addLayout(row);
    FRequired = new QLabel(this);
    layout->addWidget(FRequired);

    const QModelIndex start = FModel->index(QString::fromStdString(FMain.FExtractFolder));
    if (start.isValid()) {
        Dir->setCurrentIndex(start);
        Dir->scrollTo(start);
    }
    InstDir->setText(QString::fromStdString(FMain.FExtractFolder));
    FAll->setChecked(true);
    // The archive's unpacked total, whichever back end listed it.
    RequiredMB = double(std::max(FMain.FTotalSize, FMain.FArchiveSize)) / 1048576.0;
    FRequired->setText("required: " + mb(RequiredMB) + " MB");

    connect(Dir, &QTreeView::clicked, this,
            [this] { InstDir->setText(QString::fromStdString(SelectedPath())); });
    connect(btnExt, &QPushButton::clicked, this, [this] { ExtClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        FMain.FCancelled = true;
        reject();
    });
}

TExtForm::~TExtForm() = default;

void TExtForm::SetFileOpt(int row) {
    (row == 1 ? FSelected : FAll)->setChecked(true);
}

int TExtForm::FileOpt() const {
    return FSelected->isChecked() ? 1 : 0;
}

std::string TExtForm::SelectedPath() const {
    const QModelIndex i = Dir->currentIndex();
    return i.isValid() ? FModel->filePath(i).toStdString() : FMain.FExtractFolder;
}

void TExtForm::ExtClick() {
    const std::string target = InstDir->text().toStdString();
    const QStorageInfo storage(QString::fromStdString(isFolder(target) ? target : SelectedPath()));
    const double freeMB = storage.isValid() ? double(storage.bytesAvailable()) / 1048576.0 : -1;
    if (Accept(FMain, target, FileOpt(), ZIPDirs->isChecked(), Overwrite->isChecked(), UpdateCB->isChecked(),
               RequiredMB, freeMB))
        accept();
}

void TExtForm::done(int r) {
    // The next dialog opens where this one left the tree, whichever way it closed.
    FMain.FExtractFolder = SelectedPath();
    if (r != QDialog::Accepted) FMain.FCancelled = true;
    QDialog::done(r);
}

bool TExtForm::Accept(TMainCore& main, const std::string& target, int fileOpt, bool zipDirs, bool overwrite,
                      bool update, double requiredMB, double freeMB) {
    if (freeMB < requiredMB) {
        auto answer = platform::messageBox("Confirm", "Not enough free disk space. Continue extracting ?",
                                           platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
        if (answer != platform::ModalResult::Yes) return false;
    }
    main.FCancelled = false;
    if (!isFolder(target) && ::mkdir(target.c_str(), 0777) != 0) {
        platform::messageBox("Error", "Can\"t create directory !", platform::MsgType::Error, platform::mbOK);
        return false;
    }
    main.FExtractTarget = target;
    if (fileOpt == 0 || fileOpt == 1) main.FExtSelectedOnly = fileOpt == 1;
    main.FExtDirNames = zipDirs;
    main.FExtOverwrite = overwrite;
    main.FExtSkipOlder = update;
    return true;
}
