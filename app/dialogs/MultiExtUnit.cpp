#include "app/dialogs/MultiExtUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QStyle>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/desktop/FileTypes.h"
#include "app/dialogs/DirSelUnit.h"
#include "app/core/MainCore.h"
#include "controls/DirTree.h"
#include "platform/ui_hooks.h"

namespace {

// The archive filters as one string, ";;" between them, as the file dialog's function takes.
QString ArchiveFilter() {
    QStringList filters;
    for (const char* f : kArchiveOpenFilters) filters << f;
    return filters.join(";;");
}

} // namespace

TMultiExtForm::TMultiExtForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("MultiExtForm");
    setWindowTitle("Extract multiple files");
    FMain.FCancelled = true;
    auto* layout = new QVBoxLayout(this);
    lvFiles = new QTreeWidget(this);
    lvFiles->setObjectName("lvFiles");
    lvFiles->setHeaderLabels({"Filename", "Size", "Path"});
    lvFiles->setRootIsDecorated(false);
    lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFiles->setColumnWidth(0, 170);
    lvFiles->setColumnWidth(1, 90);
    layout->addWidget(lvFiles);
    auto* fileButtons = new QHBoxLayout;
    auto* add = btnAddFiles = new QPushButton("&Add files", this);
    auto* del = btnDelFiles = new QPushButton("&Delete files", this);
    add->setObjectName("btnAddFiles");
    del->setObjectName("btnDelFiles");
    fileButtons->addWidget(add);
    fileButtons->addWidget(del);
    fileButtons->addStretch(1);
    layout->addLayout(fileButtons);

    layout->addWidget(new QLabel("Destination", this));
    auto* dest = new QHBoxLayout;
    oeDestDir = new QLineEdit(QDir::homePath(), this);
    auto* dirSel = DirSel2 = new QPushButton("...", this);
    dirSel->setObjectName("DirSel2");
    oeDestDir->setObjectName("oeDestDir");
    dest->addWidget(oeDestDir, 1);
    dest->addWidget(dirSel);
    layout->addLayout(dest);
    layout->addWidget(new QLabel("Extract..", this));
    cbFunction = new QComboBox(this);
    cbFunction->addItems({"Same directory", "Same directory & create Subdirs", "Each in its own Directory",
                          "Each in its own Directory & create Subdirs"});
    cbFunction->setCurrentIndex(0);
    layout->addWidget(cbFunction);
    cbOverwrite = new QCheckBox("Overwrite existing files", this);
    cbDirectories = new QCheckBox("Use folder names", this);
    cbDirectories->setChecked(true);
    cbOlder = new QCheckBox("Skip older files", this);
    layout->addWidget(cbOverwrite);
    layout->addWidget(cbDirectories);
    layout->addWidget(cbOlder);
    auto* buttons = new QHBoxLayout;
    auto* ok = btnOk = new QPushButton("&OK", this);
    auto* cancel = btnCancel = new QPushButton("&Cancel", this);
    ok->setObjectName("btnOk");
    cancel->setObjectName("btnCancel");
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] { AddFilesClick(); });
    connect(del, &QPushButton::clicked, this, [this] { DelFilesClick(); });
    connect(dirSel, &QPushButton::clicked, this, [this] { DirSelClick(); });
    connect(ok, &QPushButton::clicked, this, [this] {
        Accept(FMain, oeDestDir->text().toStdString(), cbFunction->currentIndex(), cbOverwrite->isChecked(),
               cbDirectories->isChecked(), cbOlder->isChecked(), lvFiles->topLevelItemCount());
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        FMain.FCancelled = true;
        reject();
    });
}

void TMultiExtForm::AddFiles(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        const QFileInfo fi(QString::fromStdString(p));
        const QString folder = fi.absolutePath() + "/";
        const QString full = folder + fi.fileName();
        bool listed = false;
        for (int i = 0; i < lvFiles->topLevelItemCount() && !listed; ++i) {
            QTreeWidgetItem* it = lvFiles->topLevelItem(i);
            listed = (it->text(2) + it->text(0)).compare(full, Qt::CaseInsensitive) == 0;
        }
        if (listed) continue;
        auto* row = new QTreeWidgetItem({fi.fileName(), QString(), folder});
        // Zip archives carry the zip image.
        if (fi.suffix().toLower() == "zip")
            row->setIcon(0,
                         QIcon::fromTheme("application-zip", style()->standardIcon(QStyle::SP_DriveFDIcon)));
        lvFiles->addTopLevelItem(row);
    }
}

std::vector<std::string> TMultiExtForm::Archives() const {
    std::vector<std::string> out;
    for (int i = 0; i < lvFiles->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = lvFiles->topLevelItem(i);
        out.push_back((it->text(2) + it->text(0)).toStdString());
    }
    return out;
}

void TMultiExtForm::AddFilesClick() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, "Select the files for extract", QString(), ArchiveFilter());
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    AddFiles(paths);
}

void TMultiExtForm::DelFilesClick() {
    for (int i = lvFiles->topLevelItemCount() - 1; i >= 0; --i)
        if (lvFiles->topLevelItem(i)->isSelected()) delete lvFiles->takeTopLevelItem(i);
}

void TMultiExtForm::DirSelClick() {
    // The picker says through FCancelled; the dialog's own answer is set again on closing.
    TDirSelForm picker(FMain, this);
    picker.DirTree1->OpenPath(oeDestDir->text().toStdString());
    picker.exec();
    const bool picked = !FMain.FCancelled;
    FMain.FCancelled = true;
    if (picked) oeDestDir->setText(QString::fromStdString(picker.DirTree1->GetSelectedPath()));
}

void TMultiExtForm::FormShow() {
    cbFunction->setCurrentIndex(0);
    AddFilesClick();
    DirSelClick();
}

void TMultiExtForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

void TMultiExtForm::Accept(TMainCore& main, const std::string& dest, int mode, bool overwrite, bool dirNames,
                           bool skipOlder, int count) {
    main.FCancelled = false;
    std::error_code ec;
    if (!std::filesystem::is_directory(dest, ec) &&
        (dest.empty() || !std::filesystem::create_directories(dest, ec)))
        platform::messageBox("Error",
                             "The directory you specified does not exist and\n\rcould not be created !",
                             platform::MsgType::Information, platform::mbOK);
    main.FMultiExtFolder = dest;
    main.FMultiExtOverwrite = overwrite;
    main.FMultiExtDirNames = dirNames;
    main.FMultiExtSkipOlder = skipOlder;
    main.FMultiExtMode = mode;
    main.FMultiExtCount = count;
}
