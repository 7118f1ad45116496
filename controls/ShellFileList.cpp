// The file list of the explorer widgets (declared in ShellExplorer.h).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <set>

#include "common/Wildcard.h"
#include "controls/ShellExplorer.h"
#include "controls/ShellPaths.h"
#include "platform/fileio.h"
#include "platform/qt/MimeIcons.h"
#include "platform/ui_hooks.h"

using namespace shellpaths;

namespace {

constexpr int kPathRole = Qt::UserRole + 1; // QByteArray: full path
constexpr int kKindRole = Qt::UserRole + 2; // "dir", "file", "drv"
constexpr int kSizeRole = Qt::UserRole + 3; // qint64 bytes (files)
constexpr int kTimeRole = Qt::UserRole + 4; // qint64 seconds since 1970
constexpr int kParentRole = Qt::UserRole + 5;

const char* const kParentCaption = " Parent";

void box(const std::string& caption, const std::string& text, platform::MsgType type) {
    platform::messageBox(caption, text, type, platform::mbOK);
}

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string extensionOf(const std::string& name) {
    const auto slash = name.find_last_of('/');
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string()
                                                                                   : upper(name.substr(dot));
}

// What View opens, by upper-cased extension: text files as text, the others with the
// desktop's default application for them.
bool viewable(const std::string& ext, bool* asText = nullptr) {
    static const std::set<std::string> text = {".C",   ".CPP", ".DPK", ".DPR", ".H",
                                               ".INF", ".INI", ".PAS", ".PRG", ".TXT"};
    static const std::set<std::string> other = {".DOC", ".RTF", ".WRI", ".BMP"};
    if (asText) *asText = text.count(ext) > 0;
    return text.count(ext) || other.count(ext);
}

// A name for a new or renamed item: not empty, no '/' or NUL, not "." or "..".
bool soundName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string attrLetters(uint32_t attrs) {
    std::string out;
    if (attrs & platform::faArchive) out += 'A';
    if (attrs & platform::faReadOnly) out += 'R';
    if (attrs & platform::faHidden) out += 'H';
    if (attrs & platform::faSysFile) out += 'S';
    return out;
}

std::string driveTypeText(platform::DriveKind kind) {
    static const char* const texts[] = {"Unknown",      "Not exist",   "Removable Disk", "Fixed Disk",
                                        "Network Disk", "CD-ROM Disk", "RAM Disk"};
    const auto i = static_cast<size_t>(kind);
    return i < 7 ? texts[i] : texts[0];
}

// KB / 1000 as "###,###,### Mb"; below 1 "0 Mb".
std::string megabytes(int64_t kb) {
    const int64_t mb = kb / 1000;
    if (mb < 1) return "0 Mb";
    std::string digits = std::to_string(mb), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out + " Mb";
}

} // namespace

QString DateFormatPattern(TDTFormat format) {
    switch (format) {
    case df_MMddyyyy:
        return "MM/dd/yyyy";
    case df_MMddyy:
        return "MM/dd/yy";
    case df_ddMMyyyy:
        return "dd/MM/yyyy";
    case df_ddMMyy_GB:
        return "dd/MM/yy";
    case df_ddMMyy_DE:
        return "dd.MM.yy";
    case df_ddMMyy_IT:
        return "dd-MM-yy";
    case df_yyyyMMdd:
        return "yyyy-MM-dd";
    case df_yyMMdd:
        return "yy-MM-dd";
    case df_Customize:
        break;
    }
    return QLocale().dateFormat(QLocale::ShortFormat);
}

// ================================================================ creation and links

TShFileListViewPopUp::TShFileListViewPopUp(QWidget* parent) : QMenu(parent) {
    setObjectName("TShFileListViewPopUp");
    auto add = [this](const char* text, const char* name) { addAction(text)->setObjectName(name); };
    add("&Open", "ItemOpen");
    add("&View", "ItemView");
    addSeparator();
    FSendMenu = new QMenu("Se&nd To", this);
    FSendMenu->menuAction()->setObjectName("SubMenuSend");
    addMenu(FSendMenu);
    addSeparator();
    add("Cu&t", "ItemOpCut");
    add("&Copy", "ItemOpCopy");
    add("&Paste", "ItemOpPaste");
    addSeparator();
    add("&Rename", "ItemRename");
    add("&Delete", "ItemDelete");
    addSeparator();
    add("&Attributes ...", "ItemFileAttr");
    addSeparator();
    add("&New Folder ...", "ItemFolder");
}

TShFilelistView::TShFilelistView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(c); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* row, int column) {
        if (row != FEditing || column != 0) return;
        FEditing = nullptr;
        RenameRow(row, spath(row->text(0)));
    });
    FMenu = new TShFileListViewPopUp(this);
    FSendMenu = FMenu->SendMenu();
    for (QAction* a : FMenu->actions())
        if (a->objectName().startsWith("Item"))
            connect(a, &QAction::triggered, this, [this, a] { MenuClick(a); });
    FillSendTo();
    Refill();
}

TShFilelistView::~TShFilelistView() {
    if (FCombo && FCombo->FileList() == this) FCombo->SetFileList(nullptr);
    if (FTree && FTree->FileList() == this) FTree->SetFileList(nullptr);
}

TShDirTreeCombo* TShFilelistView::DirTreeCombo() const {
    return FCombo.data();
}

void TShFilelistView::SetDirTreeCombo(TShDirTreeCombo* combo) {
    if (combo == FCombo.data()) return;
    TShDirTreeCombo* old = FCombo.data();
    FCombo = combo;
    if (old && old->FileList() == this) old->SetFileList(nullptr);
    if (combo && combo->FileList() != this) combo->SetFileList(this);
}

TShDirTree* TShFilelistView::DirTree() const {
    return FTree.data();
}

void TShFilelistView::SetDirTree(TShDirTree* tree) {
    if (tree == FTree.data()) return;
    TShDirTree* old = FTree.data();
    FTree = tree;
    if (old && old->FileList() == this) old->SetFileList(nullptr);
    if (tree && tree->FileList() != this) tree->SetFileList(this);
}

void TShFilelistView::SetPopUpMenuEnabled(bool enabled) {
    FPopUpMenuEnabled = enabled;
}

// ================================================================ properties

bool TShFilelistView::IsDriveView() const {
    return upper(FDirectory) == "DRIVES";
}

void TShFilelistView::SetDirectory(const std::string& dir) {
    if (dir == FDirectory) return;
    if (upper(dir) == "DRIVES") {
        FDirectory = dir;
        Refill();
        return;
    }
    if (dir.empty() || dir[0] != '/' || !platform::dirExists(dir)) return;
    if (AddSlash(dir) == FDirectory) return;
    FDirectory = AddSlash(dir);
    Refill();
}

void TShFilelistView::SetMask(const std::string& mask) {
    if (mask == FMask) return;
    FMask = mask;
    Refill();
}

void TShFilelistView::SetFileType(TShFileTypes types) {
    if (types == FFileType) return;
    FFileType = types;
    Refill();
}

void TShFilelistView::SetShowFolders(bool show) {
    if (show == FShowFolders) return;
    FShowFolders = show;
    Refill();
}

int64_t TShFilelistView::DriveFreeSpace() const {
    return IsDriveView() ? -1 : DiskFreeKB(FDirectory);
}

std::vector<QTreeWidgetItem*> TShFilelistView::SelectedRows() const {
    std::vector<QTreeWidgetItem*> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) out.push_back(topLevelItem(i));
    return out;
}

int TShFilelistView::SelectedNumber() const {
    const auto n = SelectedRows().size();
    return n ? int(n) : topLevelItemCount();
}

int64_t TShFilelistView::SelectedSize() const {
    int64_t total = 0;
    if (IsDriveView()) return 0;
    for (QTreeWidgetItem* row : SelectedRows()) {
        const int64_t size = platform::fileSize(FDirectory + nameOf(RowPath(row)));
        if (size > 0 && RowKind(row) == "file") total += size;
    }
    return total;
}

std::string TShFilelistView::RowPath(const QTreeWidgetItem* row) {
    return row ? row->data(0, kPathRole).toByteArray().toStdString() : std::string();
}

std::string TShFilelistView::RowKind(const QTreeWidgetItem* row) {
    return row ? row->data(0, kKindRole).toString().toStdString() : std::string();
}

bool TShFilelistView::IsParentRow(const QTreeWidgetItem* row) {
    return row && row->data(0, kParentRole).toBool();
}

QTreeWidgetItem* TShFilelistView::Row(const std::string& caption) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (spath(topLevelItem(i)->text(0)) == caption) return topLevelItem(i);
    return nullptr;
}

// ================================================================ refill

void TShFilelistView::Refill() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setUpdatesEnabled(false);
    FEditing = nullptr;
    clear();
    if (IsDriveView())
        FillDrives();
    else
        FillFolder();
    // A refill sorts by name: ascending when the name was already the sort column.
    FDescending = FSortColumn != 0;
    FSortColumn = 0;
    SortRows();
    setUpdatesEnabled(true);
    if (topLevelItemCount() > 0 && SelectedRows().empty())
        setCurrentItem(topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    QApplication::restoreOverrideCursor();
    platform::processMessages();
}

void TShFilelistView::AddFileRow(const std::string& folder, const std::string& name, uint32_t attrs,
                                 int64_t size, int64_t time, bool parent) {
    const bool dir = (attrs & platform::faDirectory) != 0;
    const std::string path = parent ? DelSlash(folderOf(DelSlash(folder))) : folder + name;
    auto* row = new QTreeWidgetItem(this);
    std::string caption = name;
    if (parent)
        caption = kParentCaption;
    else if (HideFileExt && !dir && name.find('.') != std::string::npos && name.find_last_of('.') > 0)
        caption = name.substr(0, name.find_last_of('.'));
    row->setText(0, qpath(caption));
    row->setText(1, QString::fromStdString(SizeInKB(size, dir ? "DIR" : "")));
    row->setText(2, parent ? QString() : QString::fromStdString(dir ? "File Folder" : pvMimeTypeName(name)));
    const QDateTime t = QDateTime::fromSecsSinceEpoch(time);
    const QString timeFormat =
        TimeFormatStr.isEmpty() ? QLocale().timeFormat(QLocale::LongFormat) : TimeFormatStr;
    row->setText(3, t.toString(DateFormatPattern(DateFormat)) + " " + t.toString(timeFormat));
    row->setText(4, QString::fromStdString(attrLetters(attrs)));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    row->setData(0, kPathRole, QByteArray::fromStdString(path));
    row->setData(0, kKindRole, dir ? "dir" : "file");
    row->setData(0, kSizeRole, qint64(size));
    row->setData(0, kTimeRole, qint64(time));
    row->setData(0, kParentRole, parent);
    row->setIcon(0, parent ? style()->standardIcon(QStyle::SP_FileDialogToParent) : SmallIcon(path));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
}

void TShFilelistView::FillFolder() {
    setColumnCount(5);
    setHeaderLabels({"Name", "Size(KB)", "Type", "Modified", "Attr"});
    const int widths[] = {165, 75, 95, 115, 40};
    for (int c = 0; c < 5; ++c) setColumnWidth(c, widths[c]);
    headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    const auto entries = platform::listDir(FDirectory);
    if (!entries) return;
    auto allowed = [this](uint32_t attrs) {
        if ((attrs & platform::faReadOnly) && !(FFileType & ftReadOnly)) return false;
        if ((attrs & platform::faHidden) && !(FFileType & ftHidden)) return false;
        if ((attrs & platform::faSysFile) && !(FFileType & ftSystem)) return false;
        return true;
    };
    if (FShowFolders) {
        // The parent folder's row; a drive's root has none.
        if (DriveRootOf(ListDrives(), DelSlash(FDirectory)) != DelSlash(FDirectory))
            AddFileRow(FDirectory, "..", platform::faDirectory, 0, 0, true);
        for (const auto& e : *entries)
            if ((e.attrs & platform::faDirectory) && allowed(e.attrs))
                AddFileRow(FDirectory, e.name, e.attrs, 0, e.lastWrite, false);
    }
    // Each mask in turn; a file that two masks match is listed once.
    std::set<std::string> listed;
    size_t start = 0;
    while (start <= FMask.size()) {
        size_t end = FMask.find(';', start);
        if (end == std::string::npos) end = FMask.size();
        std::string part = FMask.substr(start, end - start);
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        start = end + 1;
        if (part.empty()) continue;
        for (const auto& e : *entries) {
            if ((e.attrs & platform::faDirectory) || !allowed(e.attrs) || listed.count(e.name)) continue;
            if (!pvcommon::WildcardMatch(part, e.name, true)) continue;
            listed.insert(e.name);
            AddFileRow(FDirectory, e.name, e.attrs, e.size, e.lastWrite, false);
        }
    }
}

void TShFilelistView::FillDrives() {
    setColumnCount(5);
    setHeaderLabels({"Name", "Type", "Disk Size", "Free Space", "Attributes"});
    const int widths[] = {160, 110, 90, 90, 40};
    for (int c = 0; c < 5; ++c) setColumnWidth(c, widths[c]);
    for (const auto& d : ListDrives()) {
        auto* row = new QTreeWidgetItem(this);
        const std::string label = d.Label.empty() ? std::string() : d.Label + " ";
        row->setText(0, qpath(" (" + d.Root + ")  " + label));
        row->setText(1, QString::fromStdString(driveTypeText(d.Kind)));
        const bool measured =
            d.Kind != platform::DriveKind::Removable && d.Kind != platform::DriveKind::CdRom;
        row->setText(2, QString::fromStdString(megabytes(measured ? DiskSizeKB(d.Root) : 0)));
        row->setText(3, QString::fromStdString(megabytes(measured ? DiskFreeKB(d.Root) : 0)));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        row->setData(0, kPathRole, QByteArray::fromStdString(AddSlash(d.Root)));
        row->setData(0, kKindRole, "drv");
        row->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    }
}

// ================================================================ sorting

void TShFilelistView::SortRows() {
    QList<QTreeWidgetItem*> rows;
    while (topLevelItemCount() > 0) rows.push_back(takeTopLevelItem(0));
    const int column = FSortColumn;
    const bool desc = FDescending;
    auto compare = [column](QTreeWidgetItem* a, QTreeWidgetItem* b) -> int {
        const bool da = RowKind(a) == "dir", db = RowKind(b) == "dir";
        if (da != db) return da ? -1 : 1;
        if (column == 0) {
            const std::string x = upper(spath(a->text(0))), y = upper(spath(b->text(0)));
            return x < y ? -1 : x > y ? 1 : 0;
        }
        if (column == 1 && RowKind(a) != "drv") {
            const qint64 x = a->text(1).trimmed().toLongLong(), y = b->text(1).trimmed().toLongLong();
            return x < y ? -1 : x > y ? 1 : 0;
        }
        if (column == 3 && RowKind(a) != "drv") {
            const qint64 x = a->data(0, kTimeRole).toLongLong(), y = b->data(0, kTimeRole).toLongLong();
            return x < y ? -1 : x > y ? 1 : 0;
        }
        return a->text(column).compare(b->text(column), Qt::CaseInsensitive);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        const int r = compare(a, b);
        return desc ? r > 0 : r < 0;
    });
    addTopLevelItems(rows);
    header()->setSortIndicator(column, desc ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TShFilelistView::ColumnClick(int column) {
    if (IsDriveView()) {
        header()->setSortIndicator(FSortColumn, FDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
        return;
    }
    if (column == FSortColumn)
        FDescending = !FDescending;
    else {
        FSortColumn = column;
        FDescending = true;
    }
    SortRows();
}

// ================================================================ operations

void TShFilelistView::MoveLinksTo(const std::string& path) {
    if (FCombo) FCombo->OpenPath(path);
    if (FTree) FTree->SelectPath(path);
}

void TShFilelistView::ReloadLinks(const std::string& select) {
    if (FCombo) {
        FCombo->ResetTree();
        FCombo->OpenPath(select);
    } else if (FTree) {
        FTree->Reload();
        FTree->SelectPath(select);
    }
}

void TShFilelistView::OneLevelUp() {
    if (IsDriveView()) return;
    const std::string dir = DelSlash(FDirectory);
    if (DriveRootOf(ListDrives(), dir) == dir) {
        if (FCombo && FCombo->Tree->topLevelItem(0)) FCombo->ChooseNode(FCombo->Tree->topLevelItem(0));
        if (FTree && FTree->topLevelItem(0)) FTree->ChooseNode(FTree->topLevelItem(0));
        SetDirectory("Drives");
        return;
    }
    const std::string parent = DelSlash(folderOf(dir));
    SetDirectory(parent.empty() ? "/" : parent);
    MoveLinksTo(parent.empty() ? "/" : parent);
}

void TShFilelistView::OpenRow(QTreeWidgetItem* row) {
    if (!row) return;
    if (IsParentRow(row)) return OneLevelUp();
    const std::string path = RowPath(row), kind = RowKind(row);
    if (kind == "file") {
        ShellOpenFile("open", path, {}, folderOf(path), 5);
        return;
    }
    if (kind == "drv" && platform::driveKind(path) == platform::DriveKind::Removable &&
        !CheckDriveReady(DelSlash(path), true))
        return;
    SetDirectory(AddSlash(path));
    MoveLinksTo(path);
}

void TShFilelistView::OpenSelected() {
    OpenRow(currentItem() && currentItem()->isSelected()
                ? currentItem()
                : (SelectedRows().empty() ? nullptr : SelectedRows()[0]));
}

void TShFilelistView::ViewSelected() {
    const auto rows = SelectedRows();
    if (rows.empty() || RowKind(rows[0]) != "file") return;
    const std::string path = RowPath(rows[0]);
    bool asText = false;
    if (!viewable(extensionOf(path), &asText)) return;
    ShellOpenFile("view", path, asText ? "text/plain" : "", folderOf(path), 1);
}

bool TShFilelistView::NewFolder() {
    if (IsDriveView()) return false;
    std::string name;
    if (!platform::askText("Add New Folder", "Enter new folder name", name, false)) return false;
    return NewFolder(name);
}

bool TShFilelistView::NewFolder(const std::string& name) {
    if (IsDriveView()) return false;
    if (!soundName(name)) {
        box("Error", "ERROR - Folder Name contains invalid characters", platform::MsgType::Error);
        return false;
    }
    const std::string path = FDirectory + name;
    if (NameExists(path, name)) {
        box("Error", path + " already exists", platform::MsgType::Error);
        return false;
    }
    if (!platform::makeDir(path)) {
        box("Error", "Can\"t create directory !", platform::MsgType::Error);
        return false;
    }
    Refill();
    ReloadLinks(path);
    if (QTreeWidgetItem* row = Row(name)) {
        clearSelection();
        setCurrentItem(row);
        row->setSelected(true);
    }
    return true;
}

void TShFilelistView::RenameSelected() {
    const auto rows = SelectedRows();
    if (rows.size() != 1 || IsParentRow(rows[0]) || RowKind(rows[0]) == "drv") return;
    if (upper(rows[0]->text(4).toStdString()) == "R") {
        box("Information", "It's ReadOnly", platform::MsgType::Information);
        return;
    }
    // Edit the full name, extension included.
    QSignalBlocker quiet(this);
    rows[0]->setText(0, qpath(nameOf(RowPath(rows[0]))));
    FEditing = rows[0];
    editItem(rows[0], 0);
}

bool TShFilelistView::RenameRow(QTreeWidgetItem* row, const std::string& name) {
    if (!row) return false;
    const std::string oldPath = RowPath(row);
    const bool folder = RowKind(row) == "dir";
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool done = false;
    if (!soundName(name)) {
        box("Error", "ERROR - Folder Name contains invalid characters", platform::MsgType::Error);
    } else if (name != nameOf(oldPath)) {
        const std::string newPath = folderOf(oldPath) + name;
        if (!NameExists(newPath, name)) done = ShellFileOperation(TShellOp::Rename, {oldPath}, newPath);
    }
    Refill();
    if (done && folder) ReloadLinks(DelSlash(FDirectory) + "/" + name);
    QApplication::restoreOverrideCursor();
    return done;
}

bool TShFilelistView::FolderEnterable() const {
    return !IsDriveView() && platform::dirExists(FDirectory);
}

void TShFilelistView::DeleteSelected() {
    if (!FolderEnterable()) return;
    ClipList.clear();
    for (QTreeWidgetItem* row : SelectedRows())
        if (!IsParentRow(row)) ClipList.push_back(RowPath(row));
    if (!ClipList.empty()) ShellFileOperation(TShellOp::Delete, ClipList);
    Refill();
    ClipList.clear();
    ClipOp = -1;
    ReloadLinks(DelSlash(FDirectory));
}

void TShFilelistView::CutCopy(bool cut) {
    ClipList.clear();
    for (QTreeWidgetItem* row : SelectedRows()) {
        if (RowKind(row) == "file") {
            ClipList.push_back(RowPath(row));
        } else if (RowKind(row) == "dir") {
            box("Error",
                "ERROR - Folders can't be cut or copied \r"
                "                in this component",
                platform::MsgType::Error);
        }
    }
    ClipOp = cut ? 2 : 0;
}

void TShFilelistView::Paste() {
    if (!FolderEnterable()) return;
    if (ClipList.empty()) {
        box("Information", "No file(s) selected", platform::MsgType::Information);
        return;
    }
    std::vector<std::string> sources;
    for (const auto& src : ClipList) {
        if (FDirectory + nameOf(src) == src)
            NameExists(src, nameOf(src)); // onto itself: refused
        else
            sources.push_back(src);
    }
    if (!sources.empty())
        ShellFileOperation(ClipOp == 2 ? TShellOp::Move : TShellOp::Copy, sources, FDirectory);
    Refill();
    ClipList.clear();
    ClipOp = -1;
}

bool TShFilelistView::ApplyAttributes(const std::string& path, bool readOnly) {
    const uint32_t attrs = platform::fileAttributes(path);
    if (attrs == platform::kInvalidAttributes) return false;
    const bool was = (attrs & platform::faReadOnly) != 0;
    if (was == readOnly) return false;
    return platform::setFileAttributes(path, readOnly ? (attrs | platform::faReadOnly)
                                                      : (attrs & ~uint32_t(platform::faReadOnly)));
}

void TShFilelistView::AttributesSelected() {
    const auto rows = SelectedRows();
    if (rows.empty() || IsParentRow(rows[0]) || RowKind(rows[0]) == "drv") return;
    const std::string path = RowPath(rows[0]);
    const uint32_t attrs = platform::fileAttributes(path);
    QDialog dlg(this);
    dlg.setObjectName("AttrDialog");
    dlg.setWindowTitle("Set Attributes");
    dlg.resize(266, 172);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(new QLabel(qpath(nameOf(path)), &dlg));
    auto* readOnly = new QCheckBox("ReadOnly", &dlg);
    readOnly->setObjectName("ReadOnly");
    readOnly->setChecked(attrs & platform::faReadOnly);
    layout->addWidget(readOnly);
    // These flags mean nothing to this file system: shown as they are, not changed.
    const std::pair<const char*, uint32_t> fixed[] = {
        {"Archive", platform::faArchive}, {"Hidden", platform::faHidden}, {"System", platform::faSysFile}};
    for (const auto& [text, bit] : fixed) {
        auto* cb = new QCheckBox(text, &dlg);
        cb->setObjectName(text);
        cb->setChecked(attrs & bit);
        cb->setEnabled(false);
        layout->addWidget(cb);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted) return;
    ApplyAttributes(path, readOnly->isChecked());
    Refill();
}

// ================================================================ Send To

std::string TShFilelistView::SendToFolder() {
    return platform::xdgDataHome() + "/parvex/SendTo";
}

namespace {

struct DesktopEntry {
    std::string name, type, exec, url, icon;
};

DesktopEntry readDesktopEntry(const std::string& file) {
    DesktopEntry e;
    std::ifstream in(file);
    bool inGroup = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inGroup || eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        key.erase(key.find_last_not_of(' ') + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Name")
            e.name = value;
        else if (key == "Type")
            e.type = value;
        else if (key == "Exec")
            e.exec = value;
        else if (key == "URL")
            e.url = value;
        else if (key == "Icon")
            e.icon = value;
    }
    return e;
}

// The Exec line split into arguments by the Desktop Entry rules: double quotes group,
// backslash escapes `"`, '`', '$' and '\' inside them; field codes %f %F %u %U take the
// files, %% is a '%', other codes are dropped; without a file code the files go last.
// Nothing when the line cannot be parsed (an open quote, a reserved character outside
// quotes).
std::optional<std::vector<std::string>> execArguments(const std::string& exec,
                                                      const std::vector<std::string>& files) {
    std::vector<std::string> args;
    std::string cur;
    bool quoted = false, any = false, used = false;
    auto finish = [&] {
        if (!any) return;
        args.push_back(cur);
        cur.clear();
        any = false;
    };
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (c == '\\' && i + 1 < exec.size() &&
                     std::string("\"`$\\").find(exec[i + 1]) != std::string::npos)
                cur += exec[++i];
            else
                cur += c;
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ' ' || c == '\t') {
            finish();
        } else if (c == '%' && i + 1 < exec.size()) {
            const char code = exec[++i];
            if (code == '%') {
                cur += '%';
                any = true;
            } else if (code == 'f' || code == 'F' || code == 'u' || code == 'U') {
                finish();
                const size_t n =
                    (code == 'f' || code == 'u') ? std::min<size_t>(1, files.size()) : files.size();
                for (size_t k = 0; k < n; ++k) args.push_back(files[k]);
                used = true;
            }
        } else if (std::string("`$<>|;&*?#()'").find(c) != std::string::npos) {
            return std::nullopt;
        } else {
            cur += c;
            any = true;
        }
    }
    if (quoted) return std::nullopt;
    finish();
    if (args.empty()) return std::nullopt;
    if (!used) args.insert(args.end(), files.begin(), files.end());
    return args;
}

std::string localPathOfUrl(const std::string& url) {
    if (url.rfind("file://", 0) == 0) return spath(QUrl(QString::fromStdString(url)).toLocalFile());
    return url;
}

bool desktopEntryUsable(const DesktopEntry& e) {
    if (e.type == "Link") return !e.url.empty() && platform::dirExists(localPathOfUrl(e.url));
    if (e.type == "Application") return execArguments(e.exec, {"x"}).has_value();
    return false;
}

} // namespace

void TShFilelistView::FillSendTo() {
    FSendMenu->clear();
    int n = 0;
    auto add = [&](const QString& text) {
        QAction* a = FSendMenu->addAction(text);
        a->setObjectName("Send_To" + QString::number(n++));
        connect(a, &QAction::triggered, this, [this, a] { MenuClick(a); });
        return a;
    };
    add("Any Folder ...");
    add("Clipboard as Contents");
    add("Clipboard as FileName");
    FSendMenu->addSeparator();
    auto entries = platform::listDir(SendToFolder());
    if (!entries) return;
    std::sort(entries->begin(), entries->end(),
              [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
    for (const auto& f : *entries) {
        if (f.name.size() < 9 || f.name.compare(f.name.size() - 8, 8, ".desktop") != 0) continue;
        const std::string file = SendToFolder() + "/" + f.name;
        const DesktopEntry e = readDesktopEntry(file);
        if (!desktopEntryUsable(e)) continue; // an entry we cannot carry out is left out
        QAction* a =
            add(QString::fromStdString(e.name.empty() ? f.name.substr(0, f.name.size() - 8) : e.name));
        a->setData(qpath(file));
        if (!e.icon.empty()) a->setIcon(QIcon::fromTheme(QString::fromStdString(e.icon)));
    }
}

bool AskSendToFolder(QWidget* parent, std::string& folder) {
    for (;;) {
        QDialog dlg(parent);
        dlg.setObjectName("SendToAnyFolder");
        dlg.setWindowTitle("Send to any folder");
        dlg.resize(333, 135);
        auto* layout = new QVBoxLayout(&dlg);
        layout->addWidget(new QLabel("Please enter the send to path", &dlg));
        auto* edit = new QLineEdit(qpath(folder), &dlg);
        edit->setObjectName("Path");
        edit->setMaxLength(285);
        edit->selectAll();
        layout->addWidget(edit);
        auto* buttons = new QDialogButtonBox(&dlg);
        QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
        buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
        QPushButton* browse = buttons->addButton("Browse", QDialogButtonBox::ActionRole);
        ok->setDefault(true);
        layout->addWidget(buttons);
        bool browsing = false;
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
        QObject::connect(browse, &QPushButton::clicked, &dlg, [&] {
            browsing = true;
            dlg.reject();
        });
        const bool accepted = dlg.exec() == QDialog::Accepted;
        folder = spath(edit->text());
        if (!browsing) return accepted && !folder.empty();
        // Browse: the chooser, then the dialog again with what was chosen.
        const std::string chosen = BrowseForFolder(parent);
        if (!chosen.empty()) folder = chosen;
    }
}

void TShFilelistView::SendToAnyFolder(const std::string& folder) {
    if (folder.empty()) return;
    for (QTreeWidgetItem* row : SelectedRows())
        if (RowKind(row) == "file")
            ShellFileOperation(TShellOp::Copy, {RowPath(row)}, AddSlash(folder) + nameOf(RowPath(row)));
}

bool TShFilelistView::SendToEntry(const std::string& desktopFile) {
    const DesktopEntry e = readDesktopEntry(desktopFile);
    std::vector<std::string> files;
    for (QTreeWidgetItem* row : SelectedRows())
        if (RowKind(row) == "file") files.push_back(RowPath(row));
    if (files.empty()) return false;
    if (e.type == "Link") {
        const std::string target = localPathOfUrl(e.url);
        const std::string root = DriveRootOf(ListDrives(), target);
        if (platform::driveKind(target) == platform::DriveKind::Removable && !CheckDriveReady(root, true))
            return false;
        bool all = true;
        for (const auto& f : files)
            all = ShellFileOperation(TShellOp::Copy, {f}, AddSlash(target) + nameOf(f)) && all;
        return all;
    }
    // A program that takes one file (%f, %u) runs once per file.
    const bool single = e.exec.find("%f") != std::string::npos || e.exec.find("%u") != std::string::npos;
    std::vector<std::vector<std::string>> runs;
    if (single)
        for (const auto& f : files) runs.push_back({f});
    else
        runs.push_back(files);
    bool all = true;
    for (const auto& run : runs) {
        const auto args = execArguments(e.exec, run);
        if (!args) return false;
        const std::vector<std::string> rest(args->begin() + 1, args->end());
        all = ShellStartProgram(args->front(), rest, folderOf(run.front())) && all;
    }
    return all;
}

// ================================================================ menu and keys

QAction* TShFilelistView::MenuItem(const QString& name) const {
    return FMenu->Item(name);
}

void TShFilelistView::UpdateMenu() {
    const auto rows = SelectedRows();
    const bool any = !rows.empty();
    for (const char* name :
         {"ItemOpen", "SubMenuSend", "ItemOpCut", "ItemOpCopy", "ItemDelete", "ItemFileAttr"})
        if (QAction* a = MenuItem(name)) a->setEnabled(any);
    const std::string ext = any ? extensionOf(RowPath(rows[0])) : std::string();
    MenuItem("ItemView")->setEnabled(any && viewable(ext));
    MenuItem("ItemOpPaste")->setEnabled(!ClipList.empty());
    MenuItem("ItemRename")->setEnabled(rows.size() == 1);
    MenuItem("ItemFolder")->setEnabled(!IsDriveView());
    if (QAction* contents = FSendMenu->findChild<QAction*>("Send_To1"))
        contents->setEnabled(rows.size() == 1 && (viewable(ext) || ext == ".WMF"));
}

void TShFilelistView::MenuClick(QAction* item) {
    const QString name = item->objectName();
    if (name == "ItemOpen")
        OpenSelected();
    else if (name == "ItemView")
        ViewSelected();
    else if (name == "ItemOpCut")
        CutCopy(true);
    else if (name == "ItemOpCopy")
        CutCopy(false);
    else if (name == "ItemOpPaste")
        Paste();
    else if (name == "ItemRename")
        RenameSelected();
    else if (name == "ItemDelete")
        DeleteSelected();
    else if (name == "ItemFileAttr")
        AttributesSelected();
    else if (name == "ItemFolder")
        NewFolder();
    else if (name == "Send_To0") {
        std::string folder = FDirectory;
        if (AskSendToFolder(this, folder)) SendToAnyFolder(folder);
    } else if (name == "Send_To1") {
        const auto rows = SelectedRows();
        if (rows.size() != 1) return;
        const std::string path = RowPath(rows[0]), ext = extensionOf(path);
        auto* mime = new QMimeData;
        if (ext == ".BMP" || ext == ".WMF")
            mime->setImageData(QImage(qpath(path)));
        else if (auto bytes = platform::readWholeFile(path))
            mime->setText(
                QString::fromUtf8(reinterpret_cast<const char*>(bytes->data()), qsizetype(bytes->size())));
        QApplication::clipboard()->setMimeData(mime);
    } else if (name == "Send_To2") {
        QStringList names;
        for (QTreeWidgetItem* row : SelectedRows()) names << qpath(RowPath(row));
        QApplication::clipboard()->setText(names.join("\n"));
    } else if (name.startsWith("Send_To") && item->data().isValid()) {
        SendToEntry(spath(item->data().toString()));
    }
}

void TShFilelistView::contextMenuEvent(QContextMenuEvent* e) {
    if (!FPopUpMenuEnabled) return;
    UpdateMenu();
    FMenu->PopUpAt(e->globalPos());
}

void TShFilelistView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidgetItem* row = itemAt(e->position().toPoint());
    if (!row) return QTreeWidget::mouseDoubleClickEvent(e);
    if (DblClickToOpen)
        OpenRow(row);
    else if (IsParentRow(row))
        OneLevelUp();
    else if (OnDblClick)
        OnDblClick(this);
}

void TShFilelistView::keyPressEvent(QKeyEvent* e) {
    const auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::ControlModifier) {
        switch (e->key()) {
        case Qt::Key_C:
            if (!SelectedRows().empty()) CutCopy(false);
            return;
        case Qt::Key_X:
            CutCopy(true);
            return;
        case Qt::Key_V:
            Paste();
            return;
        case Qt::Key_O:
            OpenSelected();
            return;
        case Qt::Key_F:
            ViewSelected();
            return;
        case Qt::Key_N:
            NewFolder();
            return;
        default:
            break;
        }
    }
    if (mods == Qt::NoModifier && state() != QAbstractItemView::EditingState) {
        switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OpenSelected();
            return;
        case Qt::Key_Backspace:
            OneLevelUp();
            return;
        case Qt::Key_Escape:
            if (FCombo && FCombo->DroppedDown()) FCombo->DropDown();
            return;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (OnClick) OnClick(this);
            break;
        case Qt::Key_Delete:
            DeleteSelected();
            return;
        case Qt::Key_F2:
            RenameSelected();
            return;
        case Qt::Key_F3:
            // The desktop's search is not ours to start; the folder opens instead.
            if (!IsDriveView()) ShellOpenFile("find", DelSlash(FDirectory));
            return;
        case Qt::Key_F4:
            if (FCombo) {
                FCombo->DropDown();
                if (FCombo->DroppedDown()) FCombo->Tree->setFocus();
            }
            return;
        case Qt::Key_F5:
            Refill();
            return;
        default:
            break;
        }
    }
    QTreeWidget::keyPressEvent(e);
}
