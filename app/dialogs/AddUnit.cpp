#include "app/dialogs/AddUnit.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/dialogs/DialogSeams.h"
#include "app/dialogs/PWord1Unit.h"
#include "app/dialogs/UserSpanUnit.h"
#include "app/dialogs/excludeunit.h"
#include "archive/aeCompBase.h"
#include "controls/ShellExplorer.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"

// ---------------------------------------------------------------- decisions

namespace addcore {

namespace {

const std::vector<std::string> kFiveLevels{"Maximum (slow)", "High", "Normal", "Fast", "None (archiving)"};

} // namespace

int PackerOf(const TMainCore& main) {
    if (main.FPacker != TPackerId::None) return int(main.FPacker);
    auto* lister = const_cast<TMainCore&>(main).ArcLister();
    return lister && main.FHandlerKind == hkLister ? lister->TypeInfo().PackerKind : 0;
}

TRows ZipRows(int packRate) {
    TRows r;
    r.zipGroups = true;
    r.action = {"Add files", "Update files", "Freshen files", "Move files"};
    r.level = kFiveLevels;
    switch (packRate) {
    case 9:
        r.levelRow = 0;
        break;
    case 7:
        r.levelRow = 1;
        break;
    case 5:
        r.levelRow = 2;
        break;
    case 3:
        r.levelRow = 3;
        break;
    case 0:
        r.levelRow = 4;
        break;
    default:
        r.levelRow = -1;
        break;
    }
    r.span = {"User defined", "Automatic", "Automatic & disk format", "No spanning"};
    r.spanRow = 3;
    r.spanEnabled = true;
    return r;
}

TRows PackerRows(int packer) {
    TRows r;
    r.zipGroups = false;
    r.span = {"No spanning availible"};
    r.spanRow = 0;
    r.spanEnabled = false;
    if (packer == int(TPackerId::Cab))
        r.action = {"Add files"};
    else
        r.action = {"Add files", "Move files"};
    r.actionRow = 0;
    switch (TPackerId(packer)) {
    case TPackerId::Bh:
    case TPackerId::Jar:
    case TPackerId::GZip:
        r.level = kFiveLevels;
        r.levelRow = 1;
        break;
    case TPackerId::Lha:
        r.level = {"Maximum (slow)", "Fast", "None (archiving)"};
        r.levelRow = 1;
        break;
    case TPackerId::Cab:
        r.level = {"MsZip", "Quantum", "Lzx", "None (archiving)"};
        r.levelRow = 0;
        break;
    case TPackerId::Tar:
        r.level = {"Tarred", "GZipTar", "None (archiving)"};
        r.levelRow = 0;
        break;
    default:
        r.levelRow = -1;
        break;
    }
    return r;
}

std::string ActionCaption(int row) {
    switch (row) {
    case 1:
        return "&Update";
    case 2:
        return "&Freshen";
    case 3:
        return "&Move";
    default:
        return "&Add";
    }
}

bool WidenFolders(std::vector<std::string>& paths) {
    bool any = false;
    for (std::string& p : paths) {
        if (p.empty() || !platform::dirExists(p)) continue;
        if (p.back() != '/') p += '/';
        p += "*.*";
        any = true;
    }
    return any;
}

int PackerSwitch(int packer, int actionRow) {
    if (packer == int(TPackerId::Cab)) return 0;
    return actionRow == 1 ? 3 : 0;
}

void SetCompression(TMainCore& m, int packer, int row) {
    // Effort by row for the deflating packers: "Maximum" the strongest, "High" and
    // "Normal" the normal one, "Fast" the fast one.
    static const int kDeflate[4] = {dtDeflateX, dtDeflateN, dtDeflateN, dtDeflateF};
    switch (TPackerId(packer)) {
    case TPackerId::Bh:
    case TPackerId::Jar:
        if (row >= 0 && row <= 3) {
            m.FDeflateType = kDeflate[row];
            // The jar writer deflates; only BlakHole knows Fuse.
            m.FCompressMethod = packer == int(TPackerId::Jar) ? cmDeflate : cmFuse;
        } else if (row == 4) {
            m.FCompressMethod = cmStore;
        }
        break;
    case TPackerId::GZip:
        // Gzip always deflates: "None" is the fastest effort.
        if (row >= 0 && row <= 3)
            m.FDeflateType = kDeflate[row];
        else if (row == 4)
            m.FDeflateType = dtDeflateS;
        break;
    case TPackerId::Lha: {
        static const int methods[3] = {cmFrozen6, cmFrozen5, cmStore};
        if (row >= 0 && row <= 2) m.FCompressMethod = methods[row];
        break;
    }
    case TPackerId::Cab: {
        static const int methods[4] = {cmMsZip, cmQuantum, cmLzx, cmStore};
        if (row >= 0 && row <= 3) m.FCompressMethod = methods[row];
        break;
    }
    case TPackerId::Tar: {
        static const int methods[3] = {cmTarred, cmGzipTar, cmStore};
        if (row >= 0 && row <= 2) m.FCompressMethod = methods[row];
        break;
    }
    default:
        break;
    }
}

bool AutoSpanAllowed(const std::string& archive) {
    if (!archive.empty() && platform::driveKind(archive) == platform::DriveKind::Removable) return true;
    platform::messageBox(kSpanCaption, kSpanText, platform::MsgType::Error, platform::mbOK);
    return false;
}

void Accept(TMainCore& m, bool zip, int packer, int actionRow, int levelRow, std::vector<std::string>& rows) {
    m.FCancelled = false;
    m.FAddAction = actionRow < 0 ? 0 : actionRow;
    m.FAddFolderWildcard = WidenFolders(rows);
    if (zip) {
        m.FPackerSwitch = 0;
        return;
    }
    m.FPackerSwitch = PackerSwitch(packer, m.FAddAction);
    SetCompression(m, packer, levelRow);
}

} // namespace addcore

// ---------------------------------------------------------------- the dialog

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

QString shown(const std::string& path) {
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size()));
}

void fill(QComboBox* box, const std::vector<std::string>& rows, int chosen) {
    box->clear();
    for (const std::string& r : rows) box->addItem(QString::fromStdString(r));
    box->setCurrentIndex(chosen);
}

} // namespace

TAddForm::TAddForm(TMainCore& main, QWidget* parent, TPWordForm* pword, TUserSpanForm* span)
    : QDialog(parent), FMain(main), FPWord(pword), FSpan(span) {
    setObjectName("AddForm");
    setWindowTitle("Add files");
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    Dialog = new QStackedWidget(this); // two pages, no tabs
    Dialog->setObjectName("Dialog");
    outer->addWidget(Dialog, 1);

    // Page one: the disk on the left, the files to add on the right.
    S1 = new QWidget(Dialog);
    S1->setObjectName("S1");
    auto* g1 = new QGridLayout(S1);
    auto* tools = new QHBoxLayout;
    auto tool = [&](const char* name, const QString& text) {
        auto* b = new QToolButton(S1);
        b->setObjectName(name);
        b->setText(text);
        tools->addWidget(b);
        return b;
    };
    LevelUp = tool("LevelUp", "Up");
    List = tool("List", "List");
    Report = tool("Report", "Report");
    List->setCheckable(true);
    Report->setCheckable(true);
    Report->setChecked(true);
    List->setAutoExclusive(true);
    Report->setAutoExclusive(true);
    sbDesktop = tool("sbDesktop", "Desktop");
    sbDesktop->setEnabled(false);
    Mask = new QLineEdit("*.*", S1);
    Mask->setObjectName("Mask");
    Mask->setMaximumWidth(90);
    tools->addWidget(Mask);
    tools->addStretch(1);
    g1->addLayout(tools, 0, 0);
    lsTree = new TShDirTreeCombo(S1);
    lsTree->setObjectName("lsTree");
    lsTree->SetTreeHeight(240);
    g1->addWidget(lsTree, 1, 0);
    lvSource = new TShFilelistView(S1);
    lvSource->setObjectName("lvSource");
    lvSource->SetMask("*.*");
    // Dates as everywhere in the program: the locale's short date and time.
    lvSource->DateFormat = df_Customize;
    lvSource->TimeFormatStr = QLocale().timeFormat(QLocale::ShortFormat);
    lvSource->SetFileType(ftReadOnly | ftHidden | ftSystem | ftArchive | ftNormal);
    lvSource->SetDirTreeCombo(lsTree);
    lsTree->SetFileList(lvSource);
    g1->addWidget(lvSource, 2, 0);
    btnSelsrc = new QPushButton("^", S1);
    btnSelsrc->setObjectName("btnSelsrc");
    lSelAll = new QLabel("&Select all", S1);
    lSelAll->setObjectName("lSelAll");
    lSelAll->setBuddy(btnSelsrc); // Alt+S; the "&" marks the key and is not shown
    btnSelsrc->setToolTip("Select all");
    auto* sel = new QHBoxLayout;
    sel->addWidget(btnSelsrc);
    sel->addWidget(lSelAll);
    sel->addStretch(1);
    g1->addLayout(sel, 3, 0);

    auto* mid = new QVBoxLayout;
    mid->addStretch(1);
    btnAddFiles = new QPushButton("&Add >>", S1);
    btnAddFiles->setObjectName("btnAddFiles");
    btnRemoveFiles = new QPushButton("<< &Delete", S1);
    btnRemoveFiles->setObjectName("btnRemoveFiles");
    btnExclude = new QPushButton("Exclude...", S1);
    btnExclude->setObjectName("btnExclude");
    mid->addWidget(btnAddFiles);
    mid->addWidget(btnRemoveFiles);
    mid->addSpacing(12);
    mid->addWidget(btnExclude);
    mid->addStretch(1);
    g1->addLayout(mid, 2, 1);

    FilesToAdd = new QLabel("Files to add:", S1);
    FilesToAdd->setObjectName("FilesToAdd");
    g1->addWidget(FilesToAdd, 1, 2);
    lvAddfiles = new QTreeWidget(S1);
    lvAddfiles->setObjectName("lvAddfiles");
    lvAddfiles->setColumnCount(2);
    lvAddfiles->setHeaderLabels({"Filename", "Size"});
    lvAddfiles->setColumnWidth(0, 210);
    lvAddfiles->setColumnWidth(1, 70);
    lvAddfiles->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    lvAddfiles->setRootIsDecorated(false);
    lvAddfiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    g1->addWidget(lvAddfiles, 2, 2);
    btnSeladd = new QPushButton("^", S1);
    btnSeladd->setObjectName("btnSeladd");
    g1->addWidget(btnSeladd, 3, 2, Qt::AlignLeft);
    Dialog->addWidget(S1);

    // Page two: the options.
    S2 = new QWidget(Dialog);
    S2->setObjectName("S2");
    auto* g2 = new QGridLayout(S2);
    auto label = [&](const char* name, const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, S2);
        l->setObjectName(name);
        l->setBuddy(buddy);
        return l;
    };
    cbAction = new QComboBox(S2);
    cbAction->setObjectName("cbAction");
    cbCompLevel = new QComboBox(S2);
    cbCompLevel->setObjectName("cbCompLevel");
    cbSpan = new QComboBox(S2);
    cbSpan->setObjectName("cbSpan");
    lAction = label("lAction", "Action:", cbAction);
    lCompLevel = label("lCompLevel", "Compression:", cbCompLevel);
    lSpan = label("lSpan", "Multiple disk spanning:", cbSpan);
    g2->addWidget(lAction, 0, 0);
    g2->addWidget(cbAction, 0, 1);
    g2->addWidget(lCompLevel, 1, 0);
    g2->addWidget(cbCompLevel, 1, 1);
    g2->addWidget(lSpan, 2, 0);
    g2->addWidget(cbSpan, 2, 1);
    btnPassword = new QPushButton("&Password", S2);
    btnPassword->setObjectName("btnPassword");
    g2->addWidget(btnPassword, 3, 1, Qt::AlignLeft);
    auto box = [&](QGroupBox* group, const char* name, const char* text, bool checked) {
        auto* c = new QCheckBox(text, group);
        c->setObjectName(name);
        c->setChecked(checked);
        group->layout()->addWidget(c);
        return c;
    };
    auto group = [&](const char* name, const char* text) {
        auto* gb = new QGroupBox(text, S2);
        gb->setObjectName(name);
        new QVBoxLayout(gb);
        return gb;
    };
    gbFileOptions = group("gbFileOptions", "File options");
    cbHidden = box(gbFileOptions, "cbHidden", "Add hidden files", true);
    cbFormat83 = box(gbFileOptions, "cbFormat83", "Add in 8.3 format", false);
    gbFolderOptions = group("gbFolderOptions", "Folder options");
    cbFullPath = box(gbFolderOptions, "cbFullPath", "Save full path info", false);
    cbRecDirs = box(gbFolderOptions, "cbRecDirs", "Include subfolders", true);
    cbRelPath = box(gbFolderOptions, "cbRelPath", "Save relative path info", true);
    gbArcListerOpt = group("gbArcListerOpt", "Adding options");
    cbArcListerHidden = box(gbArcListerOpt, "cbArcListerHidden", "Add hidden and system files", true);
    cbArcListerRelPath = box(gbArcListerOpt, "cbArcListerRelPath", "Save relative path info", true);
    cbArcListerFullPath = box(gbArcListerOpt, "cbArcListerFullPath", "Save full path info", false);
    g2->addWidget(gbFileOptions, 0, 2, 2, 1);
    g2->addWidget(gbFolderOptions, 2, 2, 3, 1);
    g2->addWidget(gbArcListerOpt, 0, 3, 3, 1);
    g2->setRowStretch(5, 1);
    g2->setColumnStretch(1, 1);
    Dialog->addWidget(S2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto button = [&](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btnBack = button("btnBack", "< &Back");
    btnNext = button("btnNext", "&Options >");
    btnAdd = button("btnAdd", "&Add");
    btnCancel = button("btnCancel", "&Cancel");
    btnBack->setEnabled(false);
    outer->addLayout(buttons);

    connect(LevelUp, &QToolButton::clicked, this, [this] { lvSource->OneLevelUp(); });
    connect(List, &QToolButton::clicked, this, [this] { SetListView(true); });
    connect(Report, &QToolButton::clicked, this, [this] { SetListView(false); });
    connect(Mask, &QLineEdit::textChanged, this,
            [this](const QString& t) { lvSource->SetMask(t.toStdString()); });
    connect(btnAddFiles, &QPushButton::clicked, this, &TAddForm::btnAddFilesClick);
    connect(btnRemoveFiles, &QPushButton::clicked, this, &TAddForm::btnRemoveFilesClick);
    connect(btnSelsrc, &QPushButton::clicked, this, [this] { lvSource->selectAll(); });
    connect(btnSeladd, &QPushButton::clicked, this, [this] { lvAddfiles->selectAll(); });
    connect(btnExclude, &QPushButton::clicked, this, &TAddForm::btnExcludeClick);
    connect(btnNext, &QPushButton::clicked, this, &TAddForm::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TAddForm::btnBackClick);
    connect(cbAction, &QComboBox::currentIndexChanged, this,
            [this](int row) { btnAdd->setText(QString::fromStdString(addcore::ActionCaption(row))); });
    connect(cbSpan, &QComboBox::activated, this, &TAddForm::cbSpanChange);
    connect(btnPassword, &QPushButton::clicked, this, [this] {
        if (!FPWord) return;
        FMain.FAskPassword = false; // set mode
        FPWord->ShowModal();
    });
    connect(cbRelPath, &QCheckBox::clicked, this, [this] { Pair(cbRelPath, cbFullPath); });
    connect(cbFullPath, &QCheckBox::clicked, this, [this] { Pair(cbFullPath, cbRelPath); });
    connect(cbArcListerRelPath, &QCheckBox::clicked, this,
            [this] { Pair(cbArcListerRelPath, cbArcListerFullPath); });
    connect(cbArcListerFullPath, &QCheckBox::clicked, this,
            [this] { Pair(cbArcListerFullPath, cbArcListerRelPath); });
    connect(btnAdd, &QPushButton::clicked, this, &TAddForm::btnAddClick);
    connect(btnCancel, &QPushButton::clicked, this, &TAddForm::reject);

    // Enter in the mask only applies the mask: no button of the pages is a default one.
    for (QPushButton* b : {btnSelsrc, btnSeladd, btnAddFiles, btnRemoveFiles, btnExclude, btnPassword})
        b->setAutoDefault(false);
    // The source list starts at home, and the folder combo says so.
    lvSource->SetDirectory(platform::homeDir());
    lsTree->OpenPath(platform::homeDir());
    resize(640, 420);
}

void TAddForm::FormShow() {
    if (Dialog->currentWidget() == S2) Dialog->setCurrentWidget(S1);
    btnBack->setEnabled(false);
    btnNext->setEnabled(true);
    FZip = FMain.FHandlerKind != hkLister;
    FPacker = FZip ? 0 : addcore::PackerOf(FMain);
    const addcore::TRows rows = FZip ? addcore::ZipRows(FMain.FPackRate) : addcore::PackerRows(FPacker);
    gbFileOptions->setVisible(rows.zipGroups);
    gbFolderOptions->setVisible(rows.zipGroups);
    gbArcListerOpt->setVisible(!rows.zipGroups);
    fill(cbAction, rows.action, rows.actionRow);
    // A packer of unknown rows keeps the ones it has (none on a new dialog).
    if (FZip || FPacker != 0) fill(cbCompLevel, rows.level, rows.levelRow);
    fill(cbSpan, rows.span, rows.spanRow);
    cbSpan->setEnabled(rows.spanEnabled);
    btnAdd->setText(QString::fromStdString(addcore::ActionCaption(cbAction->currentIndex())));
}

void TAddForm::SetListView(bool list) {
    // "List" shows the names alone, "Report" every column with its header.
    for (QTreeWidget* view : {static_cast<QTreeWidget*>(lvSource), lvAddfiles}) {
        view->header()->setVisible(!list);
        for (int c = 1; c < view->columnCount(); ++c) view->setColumnHidden(c, list);
    }
    List->setChecked(list);
    Report->setChecked(!list);
}

int TAddForm::Page() const {
    return Dialog->currentWidget() == S2 ? 2 : 1;
}

std::vector<std::string> TAddForm::Files() const {
    std::vector<std::string> out;
    for (int i = 0; i < lvAddfiles->topLevelItemCount(); ++i)
        out.push_back(lvAddfiles->topLevelItem(i)->data(0, kPathRole).toByteArray().toStdString());
    return out;
}

void TAddForm::AddPaths(const std::vector<std::string>& paths) {
    const std::vector<std::string> have = Files();
    for (const std::string& p : paths) {
        if (p.empty() || std::find(have.begin(), have.end(), p) != have.end()) continue;
        bool listed = false;
        for (int i = 0; i < lvAddfiles->topLevelItemCount() && !listed; ++i)
            listed = lvAddfiles->topLevelItem(i)->data(0, kPathRole).toByteArray().toStdString() == p;
        if (listed) continue;
        auto* row = new QTreeWidgetItem(lvAddfiles);
        row->setText(0, shown(p));
        row->setData(0, kPathRole, QByteArray::fromStdString(p));
        if (platform::fileExists(p)) {
            row->setText(1, QString::fromStdString(SizeInKB(std::max<int64_t>(0, platform::fileSize(p)))) +
                                " KB");
            row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    RefreshIcons();
}

void TAddForm::btnAddFilesClick() {
    std::vector<std::string> paths;
    for (QTreeWidgetItem* row : lvSource->selectedItems()) {
        if (TShFilelistView::IsParentRow(row)) continue;
        const std::string path = TShFilelistView::RowPath(row);
        if (!path.empty()) paths.push_back(path);
    }
    AddPaths(paths);
}

void TAddForm::RefreshIcons() {
    for (int i = 0; i < lvAddfiles->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lvAddfiles->topLevelItem(i);
        row->setIcon(0, SmallIcon(row->data(0, kPathRole).toByteArray().toStdString()));
    }
}

void TAddForm::btnRemoveFilesClick() {
    for (int i = lvAddfiles->topLevelItemCount() - 1; i >= 0; --i)
        if (lvAddfiles->topLevelItem(i)->isSelected()) delete lvAddfiles->takeTopLevelItem(i);
}

void TAddForm::btnNextClick() {
    if (Dialog->currentWidget() != S1) return;
    Dialog->setCurrentWidget(S2);
    btnBack->setEnabled(true);
    btnNext->setEnabled(false);
}

void TAddForm::btnBackClick() {
    if (Dialog->currentWidget() != S2) return;
    Dialog->setCurrentWidget(S1);
    btnBack->setEnabled(false);
    btnNext->setEnabled(true);
}

void TAddForm::btnExcludeClick() {
    TExcludeSpecForm dlg(FMain, this);
    dlg.exec();
}

void TAddForm::cbSpanChange(int row) {
    if (!FZip) return;
    if (row == 0) {
        if (FSpan) {
            FSpan->ShowModal(0);
            if (FSpan->State().Cancelled != 0) cbSpan->setCurrentIndex(3);
        } else {
            cbSpan->setCurrentIndex(3);
        }
    } else if (row == 1 || row == 2) {
        if (!addcore::AutoSpanAllowed(FMain.FArchiveFile)) cbSpan->setCurrentIndex(3);
    }
}

void TAddForm::Pair(QCheckBox* clicked, QCheckBox* partner) {
    if (FPairing) return;
    FPairing = true;
    clicked->setChecked(true);
    partner->setChecked(false);
    FPairing = false;
}

void TAddForm::btnAddClick() {
    std::vector<std::string> rows = Files();
    addcore::Accept(FMain, FZip, FPacker, cbAction->currentIndex(), cbCompLevel->currentIndex(), rows);
    for (int i = 0; i < lvAddfiles->topLevelItemCount() && size_t(i) < rows.size(); ++i) {
        QTreeWidgetItem* row = lvAddfiles->topLevelItem(i);
        row->setData(0, kPathRole, QByteArray::fromStdString(rows[size_t(i)]));
        row->setText(0, shown(rows[size_t(i)]));
    }
    accept();
}

TMainCore::TAddChoice TAddForm::Choice() const {
    TMainCore::TAddChoice c;
    c.files = Files();
    c.action = FMain.FAddAction;
    c.level = cbCompLevel->currentIndex();
    c.span = FZip ? cbSpan->currentIndex() : 3;
    // The packers' own group is the one the user sees for them.
    c.fullPaths = FZip ? cbFullPath->isChecked() : cbArcListerFullPath->isChecked();
    c.recurse = cbRecDirs->isChecked();
    c.forceDOS = FZip && cbFormat83->isChecked();
    return c;
}

void TAddForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

void TAddForm::done(int r) {
    // Every way out remembers the folder shown.
    const std::string dir = lvSource->Directory();
    if (!dir.empty() && dir != "Drives") FMain.FOpenFolder = dir;
    QDialog::done(r);
}

// The window's Add command opens this wizard.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.AddWizard = [](TDialogHost& host, TMainCore::TAddChoice& choice) {
        TMainCore& main = host.Core();
        main.FCancelled = true;
        TAddForm dlg(main, host.Window(), host.PWordForm(), host.UserSpanForm());
        dlg.FormShow();
        dlg.exec();
        if (!main.FCancelled) choice = dlg.Choice();
    };
});
