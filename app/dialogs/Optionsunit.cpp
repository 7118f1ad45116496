#include "app/dialogs/Optionsunit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <charconv>

#include "app/dialogs/DirSelUnit.h"
#include "app/core/MainCore.h"
#include "app/desktop/ftReg.h"
#include "controls/DirTree.h"

// ---------------------------------------------------------------- decisions

namespace optcore {

TRegistry DesktopRegistry() {
    return {ftreg::IsAssociated, ftreg::AssociateExtensions, ftreg::UnassociateExtensions};
}

int RowForPackrate(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    long long v = 0;
    const char* first = text.data() + b;
    const char* last = text.data() + e;
    if (first < last && *first == '+') ++first;
    auto [p, ec] = std::from_chars(first, last, v);
    if (first == last || ec != std::errc() || p != last) return -1; // not a number: no row
    for (int row = 0; row < 5; ++row)
        if (v == kLevels[row]) return row;
    return 4; // the row the dialog was designed with
}

TValues FormShow(TMainCore& m) {
    TValues v;
    v.start = m.FOpenFolder;
    v.extDir = m.FExtractFolder;
    v.temp = m.FTempFolder;
    v.defaultTemp = m.FDefaultTemp;
    v.lastDir = m.FOpenLast;
    v.lastExtract = m.FExtractLast;
    v.otherProg = m.FViewerProgram;
    v.notepad = m.FViewerKind != vkProgram;
    const std::string rate = m.Settings() ? m.Settings()->ReadString("Settings", "Packrate", "7") : "7";
    v.compRow = RowForPackrate(rate);
    v.rowSelect = m.FRowSelect;
    v.gridLines = m.FGridLines;
    v.mousePoint = m.FMousePoint;
    v.alwaysUnder = m.FAlwaysUnder;
    v.zipDirs = m.FOptZipDirs;
    v.overwrite = m.FOptOverwrite;
    v.update = m.FOptUpdate;
    v.test = m.FOptTest;
    v.viewToolbar = m.FToolbarShown;
    v.viewStatusBar = m.FStatusBarShown;
    v.columns = m.FColumnShown;
    v.checkNewVersion = m.FCheckNewVersion;
    v.favFolder = m.FFavFolder;
    v.mailHost = m.FMailHost;
    v.mailUserID = m.FMailUserID;
    v.mailName = m.FMailName;
    v.mailAddress = m.FMailAddress;
    v.singleClick = m.FSingleClick;
    v.internalMail = m.FInternalMail;
    return v;
}

std::vector<bool> FileTypeChecks(const TRegistry& reg) {
    std::vector<bool> out;
    for (const TFileTypeRow& r : kFileTypes) out.push_back(reg.IsAssociated && reg.IsAssociated(r.exts));
    return out;
}

void Ok(TMainCore& m, const TValues& v, const TRegistry& reg) {
    TIniFile* ini = m.Settings();
    auto write = [ini](const char* section, const char* key, const std::string& value) {
        if (ini) ini->WriteString(section, key, value);
    };
    if (v.compRow >= 0 && v.compRow < 5) {
        m.FPackRate = kLevels[v.compRow];
        if (m.ZipFront()) m.ZipFront()->SetAddCompLevel(m.FPackRate);
        write("Settings", "Packrate", std::to_string(m.FPackRate));
    }
    if (v.notepad) {
        m.FViewerKind = vkTextViewer;
        write("Settings", "View", "2");
    } else {
        m.FViewerKind = vkProgram;
        m.FViewerProgram = v.otherProg;
        write("Settings", "View", "3");
    }
    write("Settings", "ViewProg", v.otherProg);
    if (v.lastDir) {
        write("Settings", "OpenLast", "1");
    } else {
        write("Settings", "OpenLast", "0");
        write("Directories", "Open", v.start);
        m.FOpenFolder = v.start;
    }
    if (v.lastExtract) {
        write("Settings", "ExtractLast", "1");
    } else {
        write("Settings", "ExtractLast", "0");
        write("Directories", "Extract", v.extDir);
        m.FExtractFolder = v.extDir;
    }
    if (v.defaultTemp) {
        write("Settings", "DefaultTemp", "1");
        m.FDefaultTemp = true;
    } else {
        write("Settings", "DefaultTemp", "0");
        write("Directories", "Temp", v.temp);
        m.FTempFolder = v.temp;
        m.FDefaultTemp = false;
    }
    m.FOptZipDirs = v.zipDirs;
    m.FOptOverwrite = v.overwrite;
    m.FOptUpdate = v.update;
    m.FOptTest = v.test;
    m.FFavFolder = v.favFolder;
    write("Directories", "optFavFolder", v.favFolder);
    m.FMousePoint = v.mousePoint;
    m.FAlwaysUnder = v.alwaysUnder;
    m.FRowSelect = v.rowSelect;
    m.FGridLines = v.gridLines;
    m.FSingleClick = v.singleClick;
    m.FInternalMail = v.internalMail;
    m.FMailHost = v.mailHost;
    m.FMailUserID = v.mailUserID;
    m.FMailName = v.mailName;
    m.FMailAddress = v.mailAddress;
    // Rows of a page never shown are not there: nothing to register.
    for (size_t i = 0; i < v.fileTypes.size() && i < kFileTypes.size(); ++i) {
        if (v.fileTypes[i]) {
            if (reg.Associate) reg.Associate(kFileTypes[i].exts);
        } else if (reg.Unassociate) {
            reg.Unassociate(kFileTypes[i].exts);
        }
    }
    m.FToolbarShown = v.viewToolbar;
    m.FStatusBarShown = v.viewStatusBar;
    static const char* const columns[7] = {"Size", "Packed", "Ratio", "Date", "CRC", "Attributes", "Path"};
    for (size_t i = 0; i < 7; ++i) write("ZipList", columns[i], v.columns[i] ? "1" : "0");
    m.FCheckNewVersion = v.checkNewVersion;
    m.FColumnShown = v.columns;
    // What closing the dialog writes, after OK only: a cancelled dialog leaves the file alone.
    write("Directories", "Temp", v.temp);
    write("Settings", "StartUp", v.lastDir ? "0" : "1");
}

} // namespace optcore

// ---------------------------------------------------------------- the dialog

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TOptionsForm::TOptionsForm(TMainCore& main, QWidget* parent)
    : QDialog(parent), Registry(optcore::DesktopRegistry()), FMain(main) {
    setObjectName("OptionsForm");
    setWindowTitle("Preferences");
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    pcPrefs = new QTabWidget(this);
    pcPrefs->setObjectName("pcPrefs");
    outer->addWidget(pcPrefs, 1);
    auto page = [&](const char* name, const char* caption) {
        auto* w = new QWidget(pcPrefs);
        w->setObjectName(name);
        pcPrefs->addTab(w, caption);
        return w;
    };
    auto group = [](QWidget* holder, const char* name, const char* text) {
        auto* g = new QGroupBox(text, holder);
        g->setObjectName(name);
        new QVBoxLayout(g);
        return g;
    };
    auto check = [](QGroupBox* g, const char* name, const char* text) {
        auto* c = new QCheckBox(text, g);
        c->setObjectName(name);
        g->layout()->addWidget(c);
        return c;
    };
    auto radio = [](QWidget* holder, const char* name, const char* text) {
        auto* r = new QRadioButton(text, holder);
        r->setObjectName(name);
        if (holder->layout()) holder->layout()->addWidget(r);
        return r;
    };
    auto edit = [](QWidget* holder, const char* name) {
        auto* e = new QLineEdit(holder);
        e->setObjectName(name);
        return e;
    };
    auto browse = [](QWidget* holder, const char* name) {
        auto* b = new QToolButton(holder);
        b->setObjectName(name);
        b->setText("...");
        return b;
    };
    auto row = [](QGroupBox* g, QWidget* a, QWidget* b) {
        auto* h = new QHBoxLayout;
        h->addWidget(a, 1);
        h->addWidget(b);
        static_cast<QVBoxLayout*>(g->layout())->addLayout(h);
    };

    // View
    tsView = page("tsView", "View");
    auto* gv = new QGridLayout(tsView);
    QGroupBox* viewOptions = group(tsView, "ViewOptions", "General options");
    RowSel = check(viewOptions, "RowSel", "Row selection");
    GridLines = check(viewOptions, "GridLines", "Show grid lines");
    QGroupBox* mouse = group(tsView, "MouseOptions", "Mouse options");
    SingleClick = radio(mouse, "SingleClick", "Single click to open");
    DblClick = radio(mouse, "DblClick", "Double click to open");
    DblClick->setChecked(true);
    MousePoint = check(mouse, "MousePoint", "Underline when mouse over");
    AlwaysUnder = check(mouse, "AlwaysUnder", "Always underline filenames");
    QGroupBox* bars = group(tsView, "gbStatusToolBar", "Status && Toolbar");
    cbViewToolbar = check(bars, "cbViewToolbar", "View Toolbar");
    cbViewStatusBar = check(bars, "cbViewStatusBar", "View Statusbar");
    QGroupBox* cols = group(tsView, "gbListColumns", "View Columns");
    cbZlName = check(cols, "cbZlName", "Name");
    cbZlName->setCheckState(Qt::PartiallyChecked);
    cbZlName->setEnabled(false);
    cbZlSize = check(cols, "cbZlSize", "Size");
    cbZlPacked = check(cols, "cbZlPacked", "Packed");
    cbZlRatio = check(cols, "cbZlRatio", "Ratio");
    cbZlDate = check(cols, "cbZlDate", "Date");
    cbZlCRC = check(cols, "cbZlCRC", "CRC");
    cbZlAttributes = check(cols, "cbZlAttributes", "Attributs");
    cbZlPath = check(cols, "cbZlPath", "Path");
    btnZlDefaults = new QPushButton("&Defaults", cols);
    btnZlDefaults->setObjectName("btnZlDefaults");
    btnZlDefaults->hide();
    cbCheckNewVersion = new QCheckBox("Check for new Versions at startup", tsView);
    cbCheckNewVersion->setObjectName("cbCheckNewVersion");
    gv->addWidget(viewOptions, 0, 0);
    gv->addWidget(mouse, 1, 0);
    gv->addWidget(bars, 2, 0);
    gv->addWidget(cols, 0, 1, 3, 1);
    gv->addWidget(cbCheckNewVersion, 3, 0, 1, 2);

    // Folders
    tsFolders = page("tsFolders", "Folders");
    auto* gf = new QVBoxLayout(tsFolders);
    // A folder group's second choice: a radio button, then the folder's box and its "..." on
    // the same line.
    auto otherFolder = [&](QGroupBox* g, const char* name, const char* text, QLineEdit*& box,
                           const char* boxName, QToolButton*& button, const char* buttonName) {
        auto* r = new QRadioButton(text, g);
        r->setObjectName(name);
        box = edit(g, boxName);
        button = browse(g, buttonName);
        auto* h = new QHBoxLayout;
        h->addWidget(r);
        h->addWidget(box, 1);
        h->addWidget(button);
        static_cast<QVBoxLayout*>(g->layout())->addLayout(h);
        return r;
    };
    QGroupBox* tempDir = group(tsFolders, "TempDir", "Temp folder");
    rbDefaultTemp = radio(tempDir, "rbDefaultTemp", "Windows default");
    rbTempOther = otherFolder(tempDir, "rbTempOther", "", oeTemp, "oeTemp", btnDirSel3, "btnDirSel3");
    QGroupBox* startUp = group(tsFolders, "StartUp", "Work folders");
    LastDir = radio(startUp, "LastDir", "Last open folder");
    PerDir = otherFolder(startUp, "PerDir", "Other", Start, "Start", DirSel1, "DirSel1");
    QGroupBox* extGroup = group(tsFolders, "GroupBox1", "Extraction folder:");
    LastExtract = radio(extGroup, "LastExtract", "Last extraction folder");
    OwnDir = otherFolder(extGroup, "OwnDir", "Other", ExtDir, "ExtDir", DirSel3, "DirSel3");
    QGroupBox* fav = group(tsFolders, "gbFavFolder", "Favourite folder");
    oeFavFolder = edit(fav, "oeFavFolder");
    btnFavFolder = browse(fav, "btnFavFolder");
    row(fav, oeFavFolder, btnFavFolder);
    for (QGroupBox* g : {tempDir, startUp, extGroup, fav}) gf->addWidget(g);
    gf->addStretch(1);

    // Program locations
    tsFileview = page("tsFileview", "Program Locations");
    auto* gp = new QVBoxLayout(tsFileview);
    QGroupBox* viewProg = group(tsFileview, "ViewProg", "To view files use...");
    Notepad = radio(viewProg, "Notepad", "Windows Notepad");
    Notepad->setChecked(true);
    Other = radio(viewProg, "Other", "Other :");
    OtherProg = edit(viewProg, "OtherProg");
    SelDir = browse(viewProg, "SelDir");
    row(viewProg, OtherProg, SelDir);
    gp->addWidget(viewProg);
    gp->addStretch(1);

    // Compression
    tsCompress = page("tsCompress", "Compression");
    auto* gc = new QVBoxLayout(tsCompress);
    KompRate = group(tsCompress, "KompRate", "Compression level");
    KompRows = new QButtonGroup(this);
    const char* const levels[5] = {"None", "Super fast", "Fast", "Normal (standard)", "Maximum"};
    for (int i = 0; i < 5; ++i) {
        auto* r = new QRadioButton(levels[i], KompRate);
        KompRate->layout()->addWidget(r);
        KompRows->addButton(r, i);
    }
    KompRows->button(4)->setChecked(true);
    gc->addWidget(KompRate);
    gc->addStretch(1);

    // Extraction
    tsExtract = page("tsExtract", "Extraction");
    auto* ge = new QVBoxLayout(tsExtract);
    QGroupBox* fast = group(tsExtract, "gbFastExt", "Extracting options");
    cbZipDirs = check(fast, "cbZipDirs", "Use folder names");
    cbOverwrite = check(fast, "cbOverwrite", "Overwrite existing files");
    cbUpdate = check(fast, "cbUpdate", "Skip older files");
    cbTest = check(fast, "cbTest", "Test files");
    ge->addWidget(fast);
    ge->addStretch(1);

    // Mail
    tsMail = page("tsMail", "Mail");
    auto* gm = new QGridLayout(tsMail);
    cbUseInternalMail = new QRadioButton("Use internal mail client", tsMail);
    cbUseInternalMail->setObjectName("cbUseInternalMail");
    cbUseInternalMail->setChecked(true);
    rbUseExtMail = new QRadioButton("Use standard mail client", tsMail);
    rbUseExtMail->setObjectName("rbUseExtMail");
    gm->addWidget(cbUseInternalMail, 0, 0, 1, 2);
    auto mailRow = [&](int r, QLabel*& l, QLineEdit*& e, const char* ln, const char* lt, const char* en) {
        l = new QLabel(lt, tsMail);
        l->setObjectName(ln);
        e = edit(tsMail, en);
        l->setBuddy(e);
        gm->addWidget(l, r, 0);
        gm->addWidget(e, r, 1);
    };
    mailRow(1, lMailHost, oeMailHost, "lMailHost", "Mail (SMTP) server:", "oeMailHost");
    mailRow(2, lMailUserID, oeMailUserID, "lMailUserID", "Username:", "oeMailUserID");
    mailRow(3, lMailName, oeMailName, "lMailName", "Name:", "oeMailName");
    mailRow(4, lMailAddress, oeMailAddress, "lMailAddress", "Email adress:", "oeMailAddress");
    gm->addWidget(rbUseExtMail, 5, 0, 1, 2);
    gm->setRowStretch(6, 1);

    // File types
    tsFileTypes = page("tsFileTypes", "Filetypes");
    auto* gt = new QVBoxLayout(tsFileTypes);
    QGroupBox* types = group(tsFileTypes, "gbFileTypes", "Filetypes");
    clbFiletypes = new QListWidget(types);
    clbFiletypes->setObjectName("clbFiletypes");
    types->layout()->addWidget(clbFiletypes);
    auto* tb = new QHBoxLayout;
    btnExtSelAll = new QPushButton("Select all", types);
    btnExtSelAll->setObjectName("btnExtSelAll");
    btnExtSelNone = new QPushButton("Deselect all", types);
    btnExtSelNone->setObjectName("btnExtSelNone");
    tb->addWidget(btnExtSelAll);
    tb->addWidget(btnExtSelNone);
    tb->addStretch(1);
    static_cast<QVBoxLayout*>(types->layout())->addLayout(tb);
    gt->addWidget(types);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkBtn = new QPushButton("&OK", this);
    OkBtn->setObjectName("OkBtn");
    CancelBtn = new QPushButton("&Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    outer->addLayout(buttons);

    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             SingleClick, DblClick, rbDefaultTemp, rbTempOther, LastDir, PerDir, LastExtract, OwnDir, Notepad,
             Other, cbUseInternalMail, rbUseExtMail})
        connect(b, &QAbstractButton::toggled, this, [this] { SyncEnabled(); });
    connect(pcPrefs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 6) ShowFileTypes();
    });
    auto setAll = [this](bool on) {
        for (int i = 0; i < clbFiletypes->count(); ++i)
            clbFiletypes->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    connect(btnExtSelAll, &QPushButton::clicked, this, [setAll] { setAll(true); });
    connect(btnExtSelNone, &QPushButton::clicked, this, [setAll] { setAll(false); });
    connect(DirSel1, &QToolButton::clicked, this, [this] { PickFolder(Start, Start->text().toStdString()); });
    connect(DirSel3, &QToolButton::clicked, this,
            [this] { PickFolder(ExtDir, ExtDir->text().toStdString()); });
    connect(btnDirSel3, &QToolButton::clicked, this,
            [this] { PickFolder(oeTemp, oeTemp->text().toStdString()); });
    connect(btnFavFolder, &QToolButton::clicked, this, [this] { PickFolder(oeFavFolder, FMain.FFavFolder); });
    connect(SelDir, &QToolButton::clicked, this, [this] {
        // Any file may be a program here.
        const QString f = QFileDialog::getOpenFileName(this, QString(), QString(), "All files (*)");
        if (!f.isEmpty()) OtherProg->setText(f);
    });
    connect(OkBtn, &QPushButton::clicked, this, &TOptionsForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TOptionsForm::reject);

    // Every tab's caption whole: the dialog is as wide as its tabs, and should a font make
    // them wider still than the screen allows, the tab bar scrolls.
    pcPrefs->setElideMode(Qt::ElideNone);
    pcPrefs->setUsesScrollButtons(true);
    const QMargins m = outer->contentsMargins();
    setMinimumWidth(pcPrefs->tabBar()->sizeHint().width() + m.left() + m.right() + 8);
}

void TOptionsForm::PickFolder(QLineEdit* edit, const std::string& start) {
    TDirSelForm picker(FMain, this);
    if (!start.empty()) picker.DirTree1->OpenPath(start);
    picker.exec();
    if (!FMain.FCancelled) edit->setText(qs(picker.DirTree1->GetSelectedPath()));
}

void TOptionsForm::FormShow() {
    const optcore::TValues v = optcore::FormShow(FMain);
    Start->setText(qs(v.start));
    ExtDir->setText(qs(v.extDir));
    oeTemp->setText(qs(v.temp));
    (v.defaultTemp ? rbDefaultTemp : rbTempOther)->setChecked(true);
    (v.lastDir ? LastDir : PerDir)->setChecked(true);
    (v.lastExtract ? LastExtract : OwnDir)->setChecked(true);
    OtherProg->setText(qs(v.otherProg));
    (v.notepad ? Notepad : Other)->setChecked(true);
    if (v.compRow >= 0) {
        KompRows->button(v.compRow)->setChecked(true);
    } else {
        // No row: none of the exclusive buttons stays checked.
        KompRows->setExclusive(false);
        for (QAbstractButton* b : KompRows->buttons()) b->setChecked(false);
        KompRows->setExclusive(true);
    }
    RowSel->setChecked(v.rowSelect);
    GridLines->setChecked(v.gridLines);
    MousePoint->setChecked(v.mousePoint);
    AlwaysUnder->setChecked(v.alwaysUnder);
    cbZipDirs->setChecked(v.zipDirs);
    cbOverwrite->setChecked(v.overwrite);
    cbUpdate->setChecked(v.update);
    cbTest->setChecked(v.test);
    cbViewToolbar->setChecked(v.viewToolbar);
    cbViewStatusBar->setChecked(v.viewStatusBar);
    QCheckBox* cols[7] = {cbZlSize, cbZlPacked, cbZlRatio, cbZlDate, cbZlCRC, cbZlAttributes, cbZlPath};
    for (size_t i = 0; i < 7; ++i) cols[i]->setChecked(v.columns[i]);
    cbCheckNewVersion->setChecked(v.checkNewVersion);
    oeFavFolder->setText(qs(v.favFolder));
    oeMailHost->setText(qs(v.mailHost));
    oeMailUserID->setText(qs(v.mailUserID));
    oeMailName->setText(qs(v.mailName));
    oeMailAddress->setText(qs(v.mailAddress));
    (v.singleClick ? SingleClick : DblClick)->setChecked(true);
    (v.internalMail ? cbUseInternalMail : rbUseExtMail)->setChecked(true);
    SyncEnabled();
}

void TOptionsForm::SyncEnabled() {
    oeTemp->setEnabled(rbTempOther->isChecked());
    btnDirSel3->setEnabled(rbTempOther->isChecked());
    Start->setEnabled(PerDir->isChecked());
    DirSel1->setEnabled(PerDir->isChecked());
    ExtDir->setEnabled(OwnDir->isChecked());
    DirSel3->setEnabled(OwnDir->isChecked());
    OtherProg->setEnabled(Other->isChecked());
    SelDir->setEnabled(Other->isChecked());
    MousePoint->setEnabled(SingleClick->isChecked());
    AlwaysUnder->setEnabled(SingleClick->isChecked());
    const bool mail = cbUseInternalMail->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lMailHost, lMailUserID, lMailName, lMailAddress,
                                                      oeMailHost, oeMailUserID, oeMailName, oeMailAddress})
        w->setEnabled(mail);
}

void TOptionsForm::ShowFileTypes() {
    if (clbFiletypes->count() < 2) {
        clbFiletypes->clear();
        for (const optcore::TFileTypeRow& r : optcore::kFileTypes) {
            auto* item = new QListWidgetItem(r.text, clbFiletypes);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
    const std::vector<bool> on = optcore::FileTypeChecks(Registry);
    for (int i = 0; i < clbFiletypes->count() && size_t(i) < on.size(); ++i)
        clbFiletypes->item(i)->setCheckState(on[size_t(i)] ? Qt::Checked : Qt::Unchecked);
}

optcore::TValues TOptionsForm::Values() const {
    optcore::TValues v;
    v.rowSelect = RowSel->isChecked();
    v.gridLines = GridLines->isChecked();
    v.singleClick = !DblClick->isChecked();
    v.mousePoint = MousePoint->isChecked();
    v.alwaysUnder = AlwaysUnder->isChecked();
    v.viewToolbar = cbViewToolbar->isChecked();
    v.viewStatusBar = cbViewStatusBar->isChecked();
    v.checkNewVersion = cbCheckNewVersion->isChecked();
    QCheckBox* const cols[7] = {cbZlSize, cbZlPacked, cbZlRatio, cbZlDate, cbZlCRC, cbZlAttributes, cbZlPath};
    for (size_t i = 0; i < 7; ++i) v.columns[i] = cols[i]->isChecked();
    v.defaultTemp = rbDefaultTemp->isChecked();
    v.temp = oeTemp->text().toStdString();
    v.lastDir = LastDir->isChecked();
    v.start = Start->text().toStdString();
    v.lastExtract = LastExtract->isChecked();
    v.extDir = ExtDir->text().toStdString();
    v.favFolder = oeFavFolder->text().toStdString();
    v.notepad = Notepad->isChecked();
    v.otherProg = OtherProg->text().toStdString();
    v.compRow = KompRows->checkedId();
    v.zipDirs = cbZipDirs->isChecked();
    v.overwrite = cbOverwrite->isChecked();
    v.update = cbUpdate->isChecked();
    v.test = cbTest->isChecked();
    v.internalMail = cbUseInternalMail->isChecked();
    v.mailHost = oeMailHost->text().toStdString();
    v.mailUserID = oeMailUserID->text().toStdString();
    v.mailName = oeMailName->text().toStdString();
    v.mailAddress = oeMailAddress->text().toStdString();
    if (clbFiletypes->count() >= int(optcore::kFileTypes.size()))
        for (int i = 0; i < clbFiletypes->count(); ++i)
            v.fileTypes.push_back(clbFiletypes->item(i)->checkState() == Qt::Checked);
    return v;
}

void TOptionsForm::OkBtnClick() {
    optcore::Ok(FMain, Values(), Registry);
    if (OtherProg->text().isEmpty()) Notepad->setChecked(true);
    if (OnApplied) OnApplied();
    accept();
}
