#include "app/window/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "app/dialogs/AboutUnit.h"
#include "app/dialogs/ExtUnit.h"
#include "app/window/LocaleDate.h"
#include "app/dialogs/MultiExtUnit.h"
#include "app/dialogs/OverwriteUnit.h"
#include "app/dialogs/PWord1Unit.h"
#include "app/desktop/pvHttp.h"
#include "app/desktop/Ras.h"
#include "app/dialogs/UserSpanUnit.h"
#include "app/dialogs/SourceTargetUnit.h"
#include "app/dialogs/StatUnit.h"
#include "controls/DropSource.h"
#include "controls/FileListModel.h"
#include "controls/TBPv.h"
#include "platform/ui_hooks.h"

TMainForm* MainForm = nullptr;

namespace {

// Widths of the list's columns: Name, Size, Packed, Ratio, Date, Path, CRC, Attributs.
constexpr int kColumnWidths[8] = {135, 70, 70, 40, 100, 120, 62, 35};
// FColumnShown is kept in the settings' order (Size, Packed, Ratio, Date, CRC, Attributes,
// Path); these are the list columns they stand for.
constexpr int kShownToColumn[7] = {1, 2, 3, 4, 6, 7, 5};

const char* const kSortCaptions[6] = {
    "by Name", "by Size", "by Compressed Size", "by Compression Ratio", "by Date and Time", "by Path"};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Samples of the widest texts a column shows.
const char* const kColumnSamples[8] = {"", "0.000.000", "0.000.000", "100% ", "00.00.0000  00:00",
                                       "", "00000000",  "ASHR"};

} // namespace

TMainForm::TMainForm(std::unique_ptr<TZipBackend> zip, std::unique_ptr<TListerBackend> lister,
                     const std::string& programPath, std::vector<std::string> params)
    : QMainWindow(nullptr), TMainCore(std::move(zip), std::move(lister)), FParams(std::move(params)) {
    MainForm = this;
    setObjectName("MainForm");
    UseLocaleFormats(QLocale());
    BuildList();
    BuildMenus();
    BuildToolbar();
    BindExtractionCommands();
    BindWriteCommands();
    FOverwriteForm = new TOverwriteForm(OverwriteForm, FCancelled, this);
    FStatForm = new TStatForm(this);
    FPWordForm = new TPWordForm(*this, this);
    FUserSpanForm = new TUserSpanForm(*this, this);
    FStatForm->OnCancel = [this] { StatCancelClick(); };
    FStatSyncTimer = new QTimer(this);
    FStatSyncTimer->setSingleShot(true);
    connect(FStatSyncTimer, &QTimer::timeout, this, [this] {
        FStatSynced = std::chrono::steady_clock::now();
        FStatForm->Sync(StatForm);
    });
    setAcceptDrops(true); // dropped files are handled with the drop dialog
    dsMainDrag = new TDropFileSource(this);
    FZipList->viewport()->installEventFilter(this);
    FormCreate(programPath);
    SetCaptions();
    ApplyToolbarSettings();
    ShowToolbar(FToolbarShown);
    ShowStatusBar(FStatusBarShown);
    for (int i = 0; i < 7; ++i) {
        int col = kShownToColumn[i];
        FZipList->setColumnHidden(col, !FColumnShown[size_t(i)]);
        if (FColumnShown[size_t(i)]) FZipList->setColumnWidth(col, ColumnWidth(col));
    }
    FZipList->setColumnWidth(0, ColumnWidth(0));
    resize(FWindowWidth, FWindowHeight);
    move(FWindowLeft, FWindowTop);
    ItemsChanged();
    HistoryChanged();
    StatusChanged();
    CaptionChanged();
}

TMainForm::~TMainForm() {
    delete pvHttp; // waits for a request on its way; its answer is dropped
    pvHttp = nullptr;
    SaveWindowPlacement(FWindowLeft, FWindowTop);
    SaveToolbarPlacement();
    FormDestroy();
    // The core is destroyed before the widgets; the view must not report to it any more.
    FZipList->selectionModel()->disconnect(this);
    FZipList->header()->disconnect(this);
    if (MainForm == this) MainForm = nullptr;
}

// ---------------------------------------------------------------- building

// The fixed widths were chosen for a small dialog font; the desktop's font may be wider,
// so a column is never narrower than its caption or its widest usual text.
int TMainForm::ColumnWidth(int col) const {
    const QFontMetrics fm = FZipList->fontMetrics();
    const QString caption = FZipList->model()->headerData(col, Qt::Horizontal).toString();
    const int pad = 4 * fm.averageCharWidth();
    return std::max({kColumnWidths[col], int(fm.horizontalAdvance(caption) + pad),
                     int(fm.horizontalAdvance(QString::fromLatin1(kColumnSamples[col])) + pad)});
}

QAction* TMainForm::MakeAction(const QString& text, const std::string& item) {
    auto* a = new QAction(text, this);
    if (!item.empty()) Bind(a, item);
    return a;
}

void TMainForm::Bind(QAction* action, const std::string& item) {
    FItemActions.emplace(item, action);
}

std::vector<QAction*> TMainForm::ActionsFor(const std::string& item) const {
    std::vector<QAction*> out;
    auto [b, e] = FItemActions.equal_range(item);
    for (auto it = b; it != e; ++it) out.push_back(it->second);
    return out;
}

namespace {

// The core's rows as the file list reads them.
class TCoreRows : public TFileRowSource {
public:
    explicit TCoreRows(const TMainCore& core) : FCore(core) {}
    int RowCount() const override { return int(FCore.Rows.size()); }
    std::string CellText(int row, int column) const override {
        const TListRow& r = FCore.Rows[size_t(row)];
        return column == 0 ? r.Caption : r.SubItems[size_t(column - 1)];
    }
    std::string StoredName(int row) const override { return FCore.Rows[size_t(row)].StoredName; }
    int ImageIndex(int row) const override { return FCore.Rows[size_t(row)].ImageIndex; }

private:
    const TMainCore& FCore;
};

} // namespace

void TMainForm::BuildList() {
    FZipList = new QTreeView(this);
    FZipList->setObjectName("ZipList");
    FModel = new TFileListModel(std::make_unique<TCoreRows>(*this), this);
    FZipList->setModel(FModel);
    FZipList->setRootIsDecorated(false);
    FZipList->setUniformRowHeights(true);
    FZipList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FZipList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FZipList->setAllColumnsShowFocus(true);
    FZipList->setSortingEnabled(false); // the core sorts on the raw values
    FZipList->header()->setSectionsClickable(true);
    FZipList->header()->setSectionsMovable(false);
    FZipList->header()->setSortIndicatorShown(false);
    FZipList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FZipList->header(), &QHeaderView::sectionClicked, this,
            [this](int col) { ZipListColumnClick(col); });
    connect(FZipList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::OnSelectionChanged);
    connect(FZipList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { FPopup->popup(FZipList->viewport()->mapToGlobal(p)); });
    setCentralWidget(FZipList);
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto addMenu = [&](const char* title) {
        QMenu* m = bar->addMenu(QString::fromLatin1(title));
        FTopMenus.push_back(m);
        return m;
    };
    auto sortMenu = [&](QMenu* parent) {
        QMenu* sort = parent->addMenu("Sort");
        for (int i = 0; i < 6; ++i) {
            QAction* a = sort->addAction(kSortCaptions[i]);
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, [this, i] { SortItemClick(i); });
            FSortActions.push_back(a);
        }
    };

    QMenu* file = addMenu("&File");
    connect(file->addAction("&New Archive"), &QAction::triggered, this, [this] { mmiNewClick(); });
    connect(file->addAction("&Open Archive"), &QAction::triggered, this, [this] { mmiOpenClick(); });
    QAction* close = MakeAction("&Close Archive", cmd::CloseArchive);
    connect(close, &QAction::triggered, this, [this] { mmiCloseClick(); });
    file->addAction(close);
    file->addSeparator();
    file->addAction(MakeAction("Properties...", cmd::Properties));
    file->addAction(MakeAction("Create Shortcut", cmd::CreateShortcut));
    file->addAction(MakeAction("Copy Archive", cmd::CopyArchive));
    file->addAction(MakeAction("Move Archive", cmd::MoveArchive));
    file->addAction(MakeAction("Rename Archive", cmd::RenameArchive));
    file->addAction(MakeAction("&Delete Archive", cmd::DeleteArchive));
    file->addSeparator();
    file->addAction("&Print...");
    file->addSeparator();
    connect(file->addAction("&Exit"), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = addMenu("Edit");
    QAction* selAll = MakeAction("Select all", cmd::SelectAll);
    connect(selAll, &QAction::triggered, this, [this] { mmiSelAllClick(); });
    QAction* invSel = MakeAction("&Invert Selection", cmd::InvertSelection);
    connect(invSel, &QAction::triggered, this, [this] { mmiInvSelClick(); });
    QAction* deSel = MakeAction("Deselect all", cmd::DeselectAll);
    connect(deSel, &QAction::triggered, this, [this] { mmiDeSelAllClick(); });
    edit->addActions({selAll, invSel, deSel});

    QMenu* actions = addMenu("A&ctions");
    actions->addAction(MakeAction("&Add", cmd::Add));
    actions->addAction(MakeAction("&Extract", cmd::Extract));
    actions->addAction(MakeAction("&Delete", cmd::Delete));
    actions->addSeparator();
    actions->addAction(MakeAction("&View", cmd::View));
    actions->addAction(MakeAction("O&pen", cmd::OpenItem));
    actions->addAction(MakeAction("&Install", cmd::Install));
    actions->addSeparator();
    actions->addAction(MakeAction("&Make .EXE file", cmd::MakeExe));
    actions->addAction(MakeAction(".EXE -> Zip", cmd::ExeToZip));
    actions->addAction(MakeAction("&Comment", cmd::Comment));
    actions->addAction(MakeAction("&Rename", cmd::Rename));
    actions->addAction(MakeAction("&Test", cmd::Test));

    QMenu* options = addMenu("&Options");
    FPrefsAction = options->addAction("&Preferences");
    FShowToolbarAction = options->addAction("Show &Toolbar");
    FShowToolbarAction->setCheckable(true);
    connect(FShowToolbarAction, &QAction::triggered, this, [this](bool on) { ShowToolbar(on); });
    FShowStatusAction = options->addAction("Show &Statusbar");
    FShowStatusAction->setCheckable(true);
    connect(FShowStatusAction, &QAction::triggered, this, [this](bool on) { ShowStatusBar(on); });
    options->addAction("Show FastSearch"); // the fast-search edit comes with the toolbar
    sortMenu(options);

    QMenu* extras = addMenu("&Extras");
    FConvertAction = extras->addAction("&Convert Archive");
    extras->addAction(MakeAction("&Find files", cmd::FindFiles));
    connect(extras->addAction("&MultiExtract"), &QAction::triggered, this,
            [this] { mmiMultiExtractClick(); });
    extras->addAction(MakeAction("Write Zip &span", cmd::WriteZipSpan));
    extras->addAction(MakeAction("UUEncode", cmd::UUEncode));
    extras->addAction(MakeAction("Checkout", cmd::Checkout));
    extras->addAction(MakeAction("Mail Archive", cmd::MailArchive));
    extras->addSeparator();
    QAction* to = MakeAction("Extract to <\\zfname>", cmd::ExtractTo);
    QAction* here = MakeAction("Extract to <\\>", cmd::ExtractHere);
    FExtractToActions.push_back(to);
    FExtractHereActions.push_back(here);
    extras->addActions({to, here});
    extras->addAction(MakeAction("Extract to Favourite folder", cmd::ExtractFav));

    QMenu* help = addMenu("&Help");
    connect(help->addAction("&Contents"), &QAction::triggered, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(qs(FProgramFolder + "Parvex.chm"))); });
    BindShellCommands(help);
    help->addSeparator();
    connect(help->addAction("&About..."), &QAction::triggered, this, [this] {
        TAboutForm about(this);
        about.exec();
    });

    FPopup = new QMenu(this);
    for (auto [text, item] :
         std::initializer_list<std::pair<const char*, const char*>>{{"O&pen", cmd::OpenItem},
                                                                    {"&Add", cmd::Add},
                                                                    {"&Extract", cmd::Extract},
                                                                    {"&Delete", cmd::Delete},
                                                                    {"&View", cmd::View},
                                                                    {"&Comment", cmd::Comment}}) {
        FPopup->addAction(MakeAction(text, item));
    }
    FPopup->addSeparator();
    QAction* pSelAll = MakeAction("&Select all", cmd::SelectAll);
    connect(pSelAll, &QAction::triggered, this, [this] { mmiSelAllClick(); });
    QAction* pInv = MakeAction("&Invert Selection", cmd::InvertSelection);
    connect(pInv, &QAction::triggered, this, [this] { mmiInvSelClick(); });
    FPopup->addActions({pSelAll, pInv});
    FPopup->addSeparator();
    FPopup->addAction(MakeAction("&Install", cmd::Install));
    FPopup->addAction(MakeAction("&Make .EXE file", cmd::MakeExe));
    FPopup->addSeparator();
    sortMenu(FPopup);
}

void TMainForm::SetCaptions() {
    setWindowTitle(qs(Caption));
    QApplication::setApplicationDisplayName(QString());
}

// ---------------------------------------------------------------- show, resize, placement

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    RestoreWindowPlacement(FWindowLeft, FWindowLeft + FWindowWidth, FWindowTop + FWindowHeight, FWindowTop);
    PlaceToolbarAtShow();
    UpdateSettings();
    CheckZipAssociation();
    if (ZipFront()) ZipFront()->SetAddCompLevel(FPackRate);
    if (!FParams.empty()) {
        HandleParams(FParams);
        if (!FCloseRequested && FCheckNewVersion && IsOnline()) StartUpdateCheck(false);
    }
}

void TMainForm::RestoreWindowPlacement(int left, int right, int bottom, int top) {
    move(left, top);
    if (right != 0 && bottom != 0 && right > left && bottom > top) resize(right - left, bottom - top);
    // A place saved on a screen that is gone, or beyond every screen, comes back onto the
    // screen that holds most of the window (the nearest one when none does), as the
    // toolbar does; its title bar never stays above the screen.
    const QRect frame(QPoint(left, top), frameGeometry().size());
    const QRect work = GetWorkAreaOfRect(frame);
    QRect placed = PulledBackRect(frame, work, false);
    if (placed.top() < work.top()) placed.moveTop(work.top());
    if (placed != frame) move(placed.topLeft());
}

void TMainForm::SaveWindowPlacement(int& left, int& top) const {
    QRect r = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    QPoint framePos = isMaximized() || isMinimized() ? r.topLeft() : pos();
    left = framePos.x();
    top = framePos.y();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FWindowHeight = height();
    FWindowWidth = width();
    StatusChanged();
}

void TMainForm::UpdateSettings() {
    // Grid lines and hot tracking have no counterpart in the tree view's look; row
    // selection is what the view always does.
    FZipList->setAlternatingRowColors(FGridLines);
    FZipList->setMouseTracking(FSingleClick);
}

void TMainForm::ShowStatusBar(bool show) {
    statusBar()->setVisible(show);
    FStatusBarShown = show;
    FShowStatusAction->setChecked(show);
}

QLabel* TMainForm::StatusPanel(int index) const {
    return index >= 0 && index < int(FPanels.size()) ? FPanels[size_t(index)] : nullptr;
}

// ---------------------------------------------------------------- commands

void TMainForm::mmiOpenClick() {
    const std::string file = ChooseArchiveFile(this, *this);
    if (!file.empty()) OpenChosenFile(file);
}

void TMainForm::mmiNewClick() {
    QFileDialog dlg(this, "Create new Archive");
    if (FOpenLast) dlg.setDirectory(qs(FOpenFolder));
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true); // the question below is ours
    const QStringList filters{"Zip file (*.zip)",       "BlakHole file (*.bh)", "Cabinet file (*.cab)",
                              "Lha file (*.lzh *.lha)", "Jar file (*.jar)",     "Tar file (*.tar)"};
    dlg.setNameFilters(filters);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    int index = int(filters.indexOf(dlg.selectedNameFilter())) + 1;
    NewArchiveChosen(dlg.selectedFiles().first().toStdString(), index < 1 ? 1 : index);
}

void TMainForm::BindExtractionCommands() {
    auto bind = [this](const char* item, auto handler) {
        for (QAction* a : ActionsFor(item)) connect(a, &QAction::triggered, this, handler);
    };
    for (QAction* a : ActionsFor(cmd::Extract)) {
        const bool popup = FPopup->actions().contains(a);
        connect(a, &QAction::triggered, this, [this, popup] { tbExtClick(popup); });
    }
    bind(cmd::ExtractTo, [this] { mmiFilenameClick(); });
    bind(cmd::ExtractHere, [this] { mmiExtSameDirClick(); });
    bind(cmd::ExtractFav, [this] { mmiFavouriteClick(); });
    bind(cmd::Install, [this] { tbSetuplClick(); });
    bind(cmd::View, [this] { mmiViewClick(); });
    bind(cmd::OpenItem, [this] { ZipListDblClick(); });
    // In single-click mode the first click opens the row (a plain click, so that the
    // modifiers still select several rows).
    connect(FZipList, &QAbstractItemView::clicked, this, [this] {
        if (QApplication::keyboardModifiers() == Qt::NoModifier) ZipListClick();
    });
    connect(FZipList, &QAbstractItemView::doubleClicked, this, [this] {
        if (!FSingleClick) ZipListDblClick();
    });
}

bool TMainForm::tbExtClick(bool fromPopup) {
    {
        TExtForm dlg(*this, this);
        if (fromPopup) dlg.SetFileOpt(1);
        dlg.exec();
    }
    return ExtractDialogDone();
}

bool TMainForm::ExtractDialogRoad() {
    // "/pvset" exits with this: a failed extraction is a failure, not only a cancel.
    return tbExtClick();
}

void TMainForm::CloseMainWindow(int status) {
    TMainCore::CloseMainWindow(status);
    // The parameters are handled while the window is being shown; it closes once that
    // is over (the program does not enter its loop at all then).
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TMainForm::mmiMultiExtractClick() {
    std::vector<std::string> archives;
    {
        TMultiExtForm dlg(*this, this);
        dlg.FormShow();
        dlg.exec();
        if (FCancelled) return;
        archives = dlg.Archives();
    }
    MultiExtract(archives);
}

// ---------------------------------------------------------------- mirroring the core

void TMainForm::ShowPasswordDialog() {
    if (FPWordForm)
        FPWordForm->ShowModal();
    else
        TMainCore::ShowPasswordDialog();
}

TOverwriteAnswer TMainForm::AskOverwrite() {
    return FOverwriteForm ? FOverwriteForm->Ask() : TMainCore::AskOverwrite();
}

void TMainForm::StatChanged() {
    if (!FStatForm) return;
    // Shown or hidden at once; texts and bars at most every 40 ms, which is all the eye
    // sees: repainting the window for each of thousands of small files would cost more
    // than extracting them. The timer brings the last state in when the calls stop.
    const auto now = std::chrono::steady_clock::now();
    if (StatForm.Visible != FStatForm->isVisible() || now - FStatSynced >= kStatInterval) {
        FStatSyncTimer->stop();
        FStatSynced = now;
        FStatForm->Sync(StatForm);
    } else if (!FStatSyncTimer->isActive()) {
        FStatSyncTimer->start(kStatInterval);
    }
}

void TMainForm::BeginListUpdate() {
    TMainCore::BeginListUpdate();
    if (FZipList) FZipList->setCursor(Qt::WaitCursor);
}

void TMainForm::EndListUpdate() {
    TMainCore::EndListUpdate();
    if (FListUpdateDepth == 0 && FZipList) {
        FZipList->unsetCursor();
        if (FRefreshPending) RowsChanged();
    }
}

void TMainForm::RowsChanged() {
    if (!FModel) return;
    if (FListUpdateDepth > 0) {
        FRefreshPending = true;
        return;
    }
    FRefreshPending = false;
    FSyncingSelection = true;
    FModel->reset();
    FSyncingSelection = false;
    SyncSelectionFromCore();
}

void TMainForm::SortChanged() {
    RowsChanged();
}

void TMainForm::SyncSelectionFromCore() {
    FSyncingSelection = true;
    QItemSelection sel;
    for (int i = 0; i < int(Rows.size()); ++i)
        if (Rows[size_t(i)].Selected) sel.select(FModel->index(i, 0), FModel->index(i, 7));
    FZipList->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    FSyncingSelection = false;
}

void TMainForm::ApplySelection(const std::vector<bool>& wanted) {
    // One selection of whole ranges, so that selecting thousands of rows is one change.
    QItemSelection sel;
    const int n = std::min(int(Rows.size()), int(wanted.size()));
    for (int i = 0; i < n;) {
        if (!wanted[size_t(i)]) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < n && wanted[size_t(j + 1)]) ++j;
        sel.select(FModel->index(i, 0), FModel->index(j, 7));
        i = j + 1;
    }
    FZipList->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
}

void TMainForm::OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (FSyncingSelection) return;
    FSelectionBatch = true;
    for (const QItemSelectionRange& r : deselected)
        for (int row = r.top(); row <= r.bottom(); ++row) ZipListSelectItem(row, false);
    for (const QItemSelectionRange& r : selected)
        for (int row = r.top(); row <= r.bottom(); ++row) ZipListSelectItem(row, true);
    FSelectionBatch = false;
    UpdateSelectionPanel();
}

void TMainForm::StatusChanged() {
    QStatusBar* sb = statusBar();
    while (FPanels.size() < StatusPanels.size()) {
        auto* l = new QLabel(sb);
        l->setObjectName(QString("pvStatusPanel%1").arg(FPanels.size()));
        if (FPanels.size() == 1) l->setAlignment(Qt::AlignCenter);
        sb->addWidget(l, FPanels.size() == 2 ? 1 : 0);
        FPanels.push_back(l);
    }
    while (FPanels.size() > StatusPanels.size()) {
        sb->removeWidget(FPanels.back());
        delete FPanels.back();
        FPanels.pop_back();
    }
    const int w = sb->width();
    for (size_t i = 0; i < FPanels.size(); ++i) {
        QLabel* l = FPanels[i];
        QString text = qs(StatusPanels[i]);
        int panelWidth = 0;
        if (FPanels.size() > 1 && i == 0)
            panelWidth = int(std::nearbyint(w * 0.36));
        else if (FPanels.size() > 1 && i == 1)
            panelWidth = int(std::nearbyint(w * 0.27));
        if (panelWidth > 0) {
            l->setFixedWidth(panelWidth);
            text = l->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(0, panelWidth - 5));
        } else {
            l->setMinimumWidth(0);
            l->setMaximumWidth(QWIDGETSIZE_MAX);
        }
        l->setText(text);
    }
}

void TMainForm::CaptionChanged() {
    setWindowTitle(qs(Caption));
}

void TMainForm::ItemsChanged() {
    // While a component runs (DisableAll) the top menus, the buttons and the list are off;
    // the commands keep their own state underneath.
    for (auto& [item, action] : FItemActions) action->setEnabled(IsEnabled(item) && DialogAvailable(item));
    for (QAction* a : FToolButtons) {
        std::string item;
        for (auto& [name, action] : FItemActions)
            if (action == a) item = name;
        a->setEnabled(AllEnabled && (item.empty() || (IsEnabled(item) && DialogAvailable(item))));
    }
    if (FConvertAction) FConvertAction->setEnabled(DialogAvailable("ConvertArchive"));
    if (FSetupButton) FSetupButton->setVisible(SetupShown);
    SyncToolbar();
    for (size_t i = 0; i < FExtractToActions.size(); ++i) FExtractToActions[i]->setText(qs(ExtractToCaption));
    for (QAction* a : FExtractHereActions) a->setText(qs(ExtractHereCaption));
    for (size_t i = 0; i < FSortActions.size(); ++i)
        FSortActions[i]->setChecked(int(i % 6) == CheckedSortItem);
    for (QMenu* m : FTopMenus) m->menuAction()->setEnabled(AllEnabled);
    if (FZipList) FZipList->setEnabled(AllEnabled);
}

void TMainForm::HistoryChanged() {
    if (!FOpenHistoryMenu) return;
    QList<QAction*> open = FOpenHistoryMenu->actions();
    for (int i = 1; i <= 5 && i <= open.size(); ++i) {
        open[i - 1]->setText(qs(FOpenHistory[size_t(i)]));
        open[i - 1]->setVisible(!FOpenHistory[size_t(i)].empty());
    }
    QList<QAction*> ext = FExtHistoryMenu->actions();
    for (int i = 1; i <= 5 && i + 1 < ext.size(); ++i) {
        ext[i + 1]->setText(qs(FExtHistory[size_t(i)]));
        ext[i + 1]->setVisible(!FExtHistory[size_t(i)].empty());
    }
}

QIcon TMainForm::IconFor(const TImageKey& key) const {
    QStyle* st = style();
    const QIcon generic = QIcon::fromTheme("text-x-generic", st->standardIcon(QStyle::SP_FileIcon));
    switch (key.kind) {
    case TImageKey::Program:
        return QIcon::fromTheme("application-x-executable", st->standardIcon(QStyle::SP_ComputerIcon));
    case TImageKey::Archive:
        return QIcon::fromTheme("package-x-generic", st->standardIcon(QStyle::SP_DriveFDIcon));
    case TImageKey::Themed:
        return QIcon::fromTheme(qs(key.iconName), generic);
    case TImageKey::Generic:
        break;
    }
    return generic;
}

void TMainForm::ImagesChanged() {
    std::vector<QIcon> icons;
    icons.reserve(SImages.size());
    for (const TImageKey& k : SImages) icons.push_back(IconFor(k));
    FModel->setIcons(std::move(icons));
}
