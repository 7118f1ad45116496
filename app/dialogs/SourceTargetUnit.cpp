#include "app/dialogs/SourceTargetUnit.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/DirSelUnit.h"
#include "app/desktop/FileTypes.h"
#include "app/desktop/FileUtil.h"
#include "app/core/MainCore.h"
#include "common/PathParts.h"
#include "controls/DirTree.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

std::string ChooseArchiveFile(QWidget* parent, const TMainCore& main) {
    QFileDialog dlg(parent, "Open Archiv");
    if (main.FOpenLast) dlg.setDirectory(QString::fromStdString(main.FOpenFolder));
    dlg.setFileMode(QFileDialog::ExistingFile);
    QStringList filters;
    for (const char* f : kArchiveOpenFilters) filters << f;
    dlg.setNameFilters(filters);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first().toStdString();
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::string old = pvcommon::ExtensionOf(path);
    return path.substr(0, path.size() - old.size()) + ext;
}

bool SameArchiveFile(const std::string& source, const std::string& target) {
    if (source == target) return true;
    return platform::pathExists(target) && platform::sameFile(source, target);
}

// ---------------------------------------------------------------- the state

void TSourceTargetState::FormShow(const TMainCore& main) {
    if (main.FArchiveOpen) {
        Source = main.FArchiveFile;
        Target = ChangeFileExt(Source, TargetExt());
    } else {
        Source.clear();
        Target.clear();
    }
    OkEnabled = !Target.empty();
}

void TSourceTargetState::SourceChosen(const std::string& path) {
    if (path.empty()) return;
    if (!platform::fileExists(path)) {
        platform::messageBox("Parvex 2000", "This Archive doesn't exist. Do you want to create it now ?",
                             platform::MsgType::Information, platform::mbOK);
        return;
    }
    Source = path;
    TargetEdited(ChangeFileExt(path, TargetExt()));
}

void TSourceTargetState::TargetFolderChosen(const std::string& folder) {
    TargetEdited(JoinFolder(folder, pvcommon::FileNamePart(Target)));
}

void TSourceTargetState::TargetEdited(const std::string& text) {
    Target = text;
    if (!Target.empty()) OkEnabled = true;
}

void TSourceTargetState::Refuse(const std::string& what) {
    platform::messageBox("Error", what + "\n\rProcess canceled.", platform::MsgType::Error, platform::mbOK);
    OkEnabled = false;
}

bool TSourceTargetState::SourceAndTargetUsable() {
    if (Source.empty() || !platform::fileExists(Source)) {
        Refuse("The source archive does not exist !");
        return false;
    }
    if (Target.empty() || SameArchiveFile(Source, Target)) {
        Refuse("The target is the source archive itself !");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- the form

TSourceTargetForm::TSourceTargetForm(TMainCore& main, TSourceTargetState& state, QWidget* parent)
    : QDialog(parent), FMain(main), FState(state) {}

QPushButton* TSourceTargetForm::AddFileRows(QGridLayout* grid) {
    lSourceFile = new QLabel("Source:", this);
    oeSourceFile = new QLineEdit(this);
    btnGetSource = new QPushButton("...", this);
    lTargetFile = new QLabel("Target:", this);
    oeTargetFile = new QLineEdit(this);
    auto* btnGetTarget = new QPushButton("...", this);
    for (QPushButton* b : {btnGetSource, btnGetTarget}) b->setFixedWidth(28);
    grid->addWidget(lSourceFile, 0, 0);
    grid->addWidget(oeSourceFile, 0, 1);
    grid->addWidget(btnGetSource, 0, 2);
    grid->addWidget(lTargetFile, 1, 0);
    grid->addWidget(oeTargetFile, 1, 1);
    grid->addWidget(btnGetTarget, 1, 2);

    connect(btnGetSource, &QPushButton::clicked, this, [this] { GetSourceClick(); });
    connect(btnGetTarget, &QPushButton::clicked, this, [this] { GetTargetClick(); });
    connect(oeTargetFile, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (FSyncing) return;
        FState.TargetEdited(t.toStdString());
        if (btnOk) btnOk->setEnabled(FState.OkEnabled);
    });
    connect(oeSourceFile, &QLineEdit::textEdited, this,
            [this](const QString& t) { FState.Source = t.toStdString(); });
    return btnGetTarget;
}

QHBoxLayout* TSourceTargetForm::AddOkCancel() {
    btnOk = new QPushButton("&OK", this);
    btnOk->setEnabled(false);
    btnCancel = new QPushButton("&Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    connect(btnOk, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    return buttons;
}

void TSourceTargetForm::GetSourceClick() {
    FState.SourceChosen(ChooseArchiveFile(this, FMain));
    FromState();
}

void TSourceTargetForm::GetTargetClick() {
    std::string folder;
    {
        TDirSelForm picker(FMain, this);
        picker.exec();
        if (!FMain.FCancelled) folder = picker.DirTree1->GetSelectedPath();
    }
    if (!FMain.FCancelled) {
        FState.Target = oeTargetFile->text().toStdString();
        FState.TargetFolderChosen(folder);
    }
    FromState();
}

void TSourceTargetForm::FromState() {
    FSyncing = true;
    oeSourceFile->setText(QString::fromStdString(FState.Source));
    oeTargetFile->setText(QString::fromStdString(FState.Target));
    FSyncing = false;
    btnOk->setEnabled(FState.OkEnabled);
}

void TSourceTargetForm::RunOk(const std::function<bool()>& run) {
    if (!btnOk->isEnabled()) return;
    FState.Source = oeSourceFile->text().toStdString();
    FState.Target = oeTargetFile->text().toStdString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = run();
    QApplication::restoreOverrideCursor();
    btnOk->setEnabled(FState.OkEnabled);
    if (done) accept();
}
