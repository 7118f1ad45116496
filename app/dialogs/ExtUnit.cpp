#include "app/dialogs/ExtUnit.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/MainCore.h"
#include "app/dialogs/NewFldrUnit.h"
#include "controls/DirTree.h"
#include "controls/OfficeEdit.h"
#include "controls/Win2KButton.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace {

QString mb(double v) {
    return QString::asprintf("%.2f", v);
}

QString qpath(const std::string& p) {
    return QFile::decodeName(QByteArray::fromStdString(p));
}

std::string spath(const QString& p) {
    return QFile::encodeName(p).toStdString();
}

constexpr double kMB = 1048576.0;

} // namespace

TExtForm::TExtForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("ExtForm");
    setWindowTitle("Extract files");
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel("Destination Dir:", this);
    layout->addWidget(Label1);
    auto* target = new QHBoxLayout;
    InstDir = new TOfficeEdit(this);
    InstDir->setObjectName("InstDir");
    btnNewDir = new TWin2KButton("<= &New Folder", this);
    btnNewDir->setAutoDefault(false);
    target->addWidget(InstDir, 1);
    target->addWidget(btnNewDir);
    layout->addLayout(target);

    auto* row = new QHBoxLayout;
    Dir = new TDirTree(this);
    Dir->setObjectName("Dir");
    Dir->SetDirTypes(dtReadOnly | dtHidden | dtSystem | dtArchive | dtNormal | dtAll);
    Dir->SetGoBelowRecycleBin(true);
    Dir->SetDriveTypes(drtUnknown | drtRemovable | drtFixed | drtRemote | drtRamDisk);
    Dir->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Dir->setMinimumSize(260, 260);
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
    btnExt = new TWin2KButton("&Extract", this);
    btnCancel = new TWin2KButton("&Cancel", this);
    btnExt->setDefault(true);
    btnCancel->setAutoDefault(false);
    right->addWidget(btnExt);
    right->addWidget(btnCancel);
    row->addLayout(right);
    layout->addLayout(row, 1);

    sbExt = new QStatusBar(this);
    sbExt->setSizeGripEnabled(false);
    for (auto*& panel : FPanels) {
        panel = new QLabel(this);
        panel->setFixedWidth(120);
        sbExt->addWidget(panel);
    }
    layout->addWidget(sbExt);

    Dir->OpenPath(FMain.FExtractFolder.empty() ? "?" : FMain.FExtractFolder);
    InstDir->setText(qpath(Dir->GetSelectedPath() == "?" ? FMain.FExtractFolder : Dir->GetSelectedPath()));
    FAll->setChecked(true);
    // The archive's unpacked total, whichever back end listed it.
    RequiredMB = double(std::max(FMain.FTotalSize, FMain.FArchiveSize)) / kMB;
    FPanels[0]->setText("required: " + mb(RequiredMB) + " MB");
    FPanels[1]->setText("free: " + mb(FreeMB) + " MB");

    connect(Dir, &QTreeWidget::currentItemChanged, this, [this] {
        if (Dir->GetSelectedPath() != "?") InstDir->setText(qpath(Dir->GetSelectedPath()));
    });
    connect(btnExt, &QPushButton::clicked, this, [this] { ExtClick(); });
    connect(btnNewDir, &QPushButton::clicked, this, [this] { btnNewDirClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        FMain.FCancelled = true;
        reject();
    });
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TExtForm::Timer1Timer);
    Timer1->start();
}

TExtForm::~TExtForm() = default;

void TExtForm::SetFileOpt(int row) {
    (row == 1 ? FSelected : FAll)->setChecked(true);
}

int TExtForm::FileOpt() const {
    return FSelected->isChecked() ? 1 : 0;
}

QString TExtForm::PanelText(int panel) const {
    return panel == 0 || panel == 1 ? FPanels[panel]->text() : QString();
}

void TExtForm::Timer1Timer() {
    // Nothing selected: the drive of the current folder.
    std::string drive = Dir->GetSelectedDrive();
    if (drive.empty()) drive = platform::currentDir();
    FreeMB = double(DriveFreeBytes(drive)) / kMB;
    FPanels[1]->setText("free: " + mb(FreeMB) + " MB");
}

void TExtForm::btnNewDirClick() {
    TNewFolderForm form(this);
    form.BaseFolder = Dir->GetSelectedPath();
    if (form.BaseFolder == "?") form.BaseFolder = spath(InstDir->text());
    form.exec();
    if (form.Cancelled != 0 || !platform::dirExists(form.NewFolderPath)) return;
    Dir->Reload();
    Dir->OpenPath(form.NewFolderPath);
    InstDir->setText(qpath(form.NewFolderPath));
}

void TExtForm::ExtClick() {
    const std::string target = spath(InstDir->text());
    // Measured now, not at the last tick: the target may lie on another drive than the
    // folder chosen in the tree, and the timer may not have run yet.
    const std::string where = platform::dirExists(target) ? target : Dir->GetSelectedDrive();
    const double freeMB = double(DriveFreeBytes(where.empty() ? platform::currentDir() : where)) / kMB;
    if (Accept(FMain, target, FileOpt(), ZIPDirs->isChecked(), Overwrite->isChecked(), UpdateCB->isChecked(),
               RequiredMB, freeMB))
        accept();
}

void TExtForm::done(int r) {
    // The next dialog opens where this one left the tree, whichever way it closed.
    const std::string selected = Dir->GetSelectedPath();
    if (selected != "?") FMain.FExtractFolder = selected;
    if (r != QDialog::Accepted) FMain.FCancelled = true;
    QDialog::done(r);
}

bool TExtForm::Accept(TMainCore& main, const std::string& target, int fileOpt, bool zipDirs, bool overwrite,
                      bool update, double requiredMB, double freeMB) {
    // A folder that cannot be written fails every file: said at once, with the reason, and
    // the dialog stays for another choice. Free space that cannot be read is no shortage.
    if (!main.CheckTargetFolder(target)) return false;
    if (freeMB >= 0 && freeMB < requiredMB) {
        auto answer = platform::messageBox("Confirm", "Not enough free disk space. Continue extracting ?",
                                           platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
        if (answer != platform::ModalResult::Yes) return false;
    }
    main.FCancelled = false;
    // A relative target would land wherever the program happens to stand.
    const bool absolute = !target.empty() && target[0] == '/';
    if (!absolute || (!platform::dirExists(target) && !platform::makeDir(target))) {
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
