#include "app/dialogs/FileDropUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/AddUnit.h"
#include "app/dialogs/DialogSeams.h"
#include "app/dialogs/PWord1Unit.h"
#include "app/dialogs/UserSpanUnit.h"
#include "common/PathParts.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace {

const QStringList kDropFilters{"Zip file (*.zip)",       "BlakHole file (*.bh)", "Cabinet file (*.cab)",
                               "Lha file (*.lzh *.lha)", "Jar file (*.jar)",     "Tar file (*.tar)"};
constexpr const char* kMissing = "This Archive doesn't exist. Do you want to create it now ?";

QString shown(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

void fill(QComboBox* box, const std::vector<std::string>& rows, int chosen) {
    box->clear();
    for (const std::string& r : rows) box->addItem(QString::fromStdString(r));
    box->setCurrentIndex(chosen);
}

// The window's archive kind of a packer (TPackerId numbers): bh 2, cab 3, lha 4, jar 5,
// tar 6, gzip 7.
int kindOfPacker(int packer) {
    switch (TPackerId(packer)) {
    case TPackerId::Bh:
        return 2;
    case TPackerId::Cab:
        return 3;
    case TPackerId::Lha:
        return 4;
    case TPackerId::Jar:
        return 5;
    case TPackerId::Tar:
        return 6;
    case TPackerId::GZip:
        return 7;
    default:
        return 0;
    }
}

std::string withZipExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back(); // a dropped folder
    if (p.size() != path.size()) return p + ".zip";
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".zip";
    return path.substr(0, dot) + ".zip";
}

} // namespace

TFileDropForm::TFileDropForm(TMainCore& main, QWidget* parent, TPWordForm* pword, TUserSpanForm* span)
    : QDialog(parent), FMain(main), FPWord(pword), FSpan(span) {
    setObjectName("FileDropForm");
    setWindowTitle("Drag and Drop");
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    lFileInfo = new QLabel("File: ", this);
    lFileInfo->setObjectName("lFileInfo");
    lFileInfo->setFixedWidth(360);
    outer->addWidget(lFileInfo);
    gbArchive = new QGroupBox("Archive file", this);
    gbArchive->setObjectName("gbArchive");
    auto* ah = new QHBoxLayout(gbArchive);
    oeFilename = new QLineEdit(gbArchive);
    oeFilename->setObjectName("oeFilename");
    btnNew = new QPushButton("&New", gbArchive);
    btnNew->setObjectName("btnNew");
    btnOpen = new QPushButton("&Open", gbArchive);
    btnOpen->setObjectName("btnOpen");
    ah->addWidget(oeFilename, 1);
    ah->addWidget(btnNew);
    ah->addWidget(btnOpen);
    outer->addWidget(gbArchive);

    auto* g = new QGridLayout;
    auto combo = [&](int row, QLabel*& l, QComboBox*& c, const char* ln, const char* lt, const char* cn) {
        c = new QComboBox(this);
        c->setObjectName(cn);
        l = new QLabel(lt, this);
        l->setObjectName(ln);
        l->setBuddy(c);
        g->addWidget(l, row, 0);
        g->addWidget(c, row, 1);
    };
    combo(0, lAction, cbAction, "lAction", "Action", "cbAction");
    combo(1, lCompression, cbCompLevel, "lCompression", "Compression", "cbCompLevel");
    combo(2, lSpan, cbSpan, "lSpan", "Multiple disk spanning", "cbSpan");
    auto group = [&](const char* name, const char* text) {
        auto* gb = new QGroupBox(text, this);
        gb->setObjectName(name);
        new QVBoxLayout(gb);
        return gb;
    };
    auto box = [](QGroupBox* gb, const char* name, const char* text, bool on) {
        auto* c = new QCheckBox(text, gb);
        c->setObjectName(name);
        c->setChecked(on);
        gb->layout()->addWidget(c);
        return c;
    };
    gbFolderOptions = group("gbFolderOptions", "Folder options");
    cbRecDirs = box(gbFolderOptions, "cbRecDirs", "Include subfolders", true);
    cbFullPath = box(gbFolderOptions, "cbFullPath", "Save full path info", true);
    gbFileOptions = group("gbFileOptions", "File options");
    cbHidden = box(gbFileOptions, "cbHidden", "Add hidden files", true);
    cbFormat83 = box(gbFileOptions, "cbFormat83", "Add in 8.3 format", false);
    gbArcListerOpt = group("gbArcListerOpt", "Adding options");
    cbArcListerHidden = box(gbArcListerOpt, "cbArcListerHidden", "Add hidden and system files", true);
    cbArcListerRelPath = box(gbArcListerOpt, "cbArcListerRelPath", "Save relative path info", true);
    cbArcListerFullPath = box(gbArcListerOpt, "cbArcListerFullPath", "Save full path info", false);
    g->addWidget(gbFolderOptions, 0, 2, 2, 1);
    g->addWidget(gbFileOptions, 2, 2, 2, 1);
    g->addWidget(gbArcListerOpt, 0, 3, 3, 1);
    btnPassword = new QPushButton("&Password", this);
    btnPassword->setObjectName("btnPassword");
    g->addWidget(btnPassword, 3, 1, Qt::AlignLeft);
    outer->addLayout(g);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOk = new QPushButton("&Add", this);
    btnOk->setObjectName("btnOk");
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    outer->addLayout(buttons);

    // OK is named after the action chosen (by its text: a packer's row 1 moves).
    connect(cbAction, &QComboBox::currentIndexChanged, this, [this](int row) {
        const QString t = cbAction->itemText(row);
        btnOk->setText(t == "Move files" ? "&Move" : QString::fromStdString(addcore::ActionCaption(row)));
    });
    connect(cbSpan, &QComboBox::activated, this, &TFileDropForm::cbSpanChange);
    connect(btnNew, &QPushButton::clicked, this, &TFileDropForm::NewClick);
    connect(btnOpen, &QPushButton::clicked, this, &TFileDropForm::OpenClick);
    connect(btnPassword, &QPushButton::clicked, this, [this] {
        if (!FPWord) return;
        FMain.FAskPassword = false;
        FPWord->ShowModal();
    });
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (OkClick()) accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &TFileDropForm::reject);
    FMain.FCancelled = true;
}

int TFileDropForm::PackerId() const {
    static const TPackerId ids[8] = {TPackerId::None, TPackerId::None, TPackerId::Bh,  TPackerId::Cab,
                                     TPackerId::Lha,  TPackerId::Jar,  TPackerId::Tar, TPackerId::GZip};
    return ArchiveKind >= 0 && ArchiveKind <= 7 ? int(ids[ArchiveKind]) : 0;
}

void TFileDropForm::FormShow() {
    if (FMain.FArchiveOpen && !FMain.FArchiveFile.empty()) {
        HandlerKind = FMain.FHandlerKind == hkLister ? 2 : 1;
        // Every packer's kind follows the open archive, as in the add wizard.
        if (HandlerKind == 2) ArchiveKind = kindOfPacker(addcore::PackerOf(FMain));
        oeFilename->setText(shown(FMain.FArchiveFile));
        NewArchive = 0;
    } else {
        HandlerKind = 1;
        NewArchive = 1;
        oeFilename->setText(FMain.FShellFiles.empty() ? QString()
                                                      : shown(withZipExtension(FMain.FShellFiles.front())));
    }
    FillTypeOptions();
    FillFileInfo();
}

void TFileDropForm::FillFileInfo() {
    if (FMain.FShellFiles.size() >= 2) {
        lFileInfo->setText("Files to add: " + QString::number(FMain.FShellFiles.size()));
        return;
    }
    const QString path = FMain.FShellFiles.empty() ? QString() : shown(FMain.FShellFiles.front());
    lFileInfo->setText(lFileInfo->fontMetrics().elidedText(path, Qt::ElideMiddle, lFileInfo->width() - 5));
}

void TFileDropForm::FillTypeOptions() {
    const bool zip = HandlerKind != 2;
    gbFolderOptions->setVisible(zip);
    gbFileOptions->setVisible(zip);
    gbArcListerOpt->setVisible(!zip);
    const addcore::TRows rows = zip ? addcore::ZipRows(FMain.FPackRate) : addcore::PackerRows(PackerId());
    fill(cbAction, rows.action, rows.actionRow);
    if (zip || PackerId() != 0) fill(cbCompLevel, rows.level, rows.levelRow);
    fill(cbSpan, rows.span, rows.spanRow);
    cbSpan->setEnabled(rows.spanEnabled);
    btnOk->setText(cbAction->currentText() == "Move files"
                       ? QString("&Move")
                       : QString::fromStdString(addcore::ActionCaption(cbAction->currentIndex())));
}

void TFileDropForm::NewChosen(const std::string& path, int filterRow) {
    if (path.empty()) return;
    if (platform::pathExists(path) &&
        platform::messageBox("Confirm", "Overwrite Archiv :\r\r" + path + "?",
                             platform::MsgType::Confirmation,
                             platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
        return;
    // Nothing is deleted now: the window's New moves the old file aside at OK and puts it
    // back when no archive takes its place.
    oeFilename->setText(shown(path));
    NewArchive = 1;
    HandlerKind = filterRow <= 1 ? 1 : 2;
    ArchiveKind = filterRow <= 1 ? 0 : filterRow;
    FillTypeOptions();
}

void TFileDropForm::OpenChosen(const std::string& path, int filterRow) {
    if (path.empty()) return;
    if (!platform::fileExists(path)) {
        platform::messageBox("Error", kMissing, platform::MsgType::Error, platform::mbOK);
        return;
    }
    oeFilename->setText(shown(path));
    NewArchive = 0;
    HandlerKind = filterRow <= 1 ? 1 : 2;
    ArchiveKind = filterRow <= 1 ? 0 : filterRow;
    FillTypeOptions();
}

void TFileDropForm::NewClick() {
    QFileDialog dlg(this, "Create new Archive");
    if (FMain.FOpenLast) dlg.setDirectory(shown(FMain.FOpenFolder));
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setNameFilters(kDropFilters);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    NewChosen(dlg.selectedFiles().first().toLocal8Bit().toStdString(),
              int(kDropFilters.indexOf(dlg.selectedNameFilter())) + 1);
}

void TFileDropForm::OpenClick() {
    QFileDialog dlg(this, "Open Archiv");
    if (FMain.FOpenLast) dlg.setDirectory(shown(FMain.FOpenFolder));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilters(kDropFilters);
    dlg.selectNameFilter(kDropFilters.front());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    OpenChosen(dlg.selectedFiles().first().toLocal8Bit().toStdString(),
               int(kDropFilters.indexOf(dlg.selectedNameFilter())) + 1);
}

void TFileDropForm::cbSpanChange(int row) {
    if (HandlerKind == 2) return;
    if (row == 0) {
        if (!FSpan) {
            cbSpan->setCurrentIndex(3);
            return;
        }
        FSpan->ShowModal(0);
        if (FSpan->State().Cancelled != 0) cbSpan->setCurrentIndex(3);
    } else if (row == 1 || row == 2) {
        if (!addcore::AutoSpanAllowed(oeFilename->text().toLocal8Bit().toStdString()))
            cbSpan->setCurrentIndex(3);
    }
}

bool TFileDropForm::OkClick() {
    const std::string path = oeFilename->text().toLocal8Bit().toStdString();
    if (path.empty()) return false;
    if (NewArchive == 1) {
        // Over an existing file the answer was given at New.
        FMain.NewArchiveChosen(path, HandlerKind == 1 ? 1 : ArchiveKind, true);
        if (!FMain.FArchiveOpen) return false;
    } else if (platform::fileExists(path)) {
        if (FMain.FArchiveFile != path || !FMain.FArchiveOpen) FMain.OpenArchive(path);
        if (!FMain.FArchiveOpen) return false;
    } else {
        platform::messageBox("Error", kMissing, platform::MsgType::Error, platform::mbOK);
        return false;
    }
    addcore::Accept(FMain, HandlerKind != 2, PackerId(), cbAction->currentIndex(),
                    cbCompLevel->currentIndex(), FMain.FShellFiles);
    return true;
}

TMainCore::TAddChoice TFileDropForm::Choice() const {
    TMainCore::TAddChoice c;
    c.files = FMain.FShellFiles;
    c.action = FMain.FAddAction;
    c.level = cbCompLevel->currentIndex();
    c.span = HandlerKind == 2 ? 3 : cbSpan->currentIndex();
    c.fullPaths = HandlerKind == 2 ? cbArcListerFullPath->isChecked() : cbFullPath->isChecked();
    c.recurse = cbRecDirs->isChecked();
    c.forceDOS = HandlerKind != 2 && cbFormat83->isChecked();
    return c;
}

void TFileDropForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

// Files dropped on the window: this dialog, then the add.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.FileDrop = [](TDialogHost& host, const std::vector<std::string>& paths) {
        TMainCore& main = host.Core();
        main.FShellFiles = paths;
        TMainCore::TAddChoice choice;
        {
            TFileDropForm dlg(main, host.Window(), host.PWordForm(), host.UserSpanForm());
            dlg.FormShow();
            dlg.exec();
            if (main.FCancelled) return;
            choice = dlg.Choice();
        }
        main.AddChosen(choice);
        main.FShellFiles.clear();
    };
});
