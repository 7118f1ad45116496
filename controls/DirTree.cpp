#include "controls/DirTree.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/fileio.h"
#include "platform/trash.h"

namespace {

constexpr int kNodeType = QTreeWidgetItem::UserType + 1;
constexpr int kPlaceholderType = QTreeWidgetItem::UserType + 2;
// How often drives are compared with the tree (devices come and go, media are swapped).
constexpr int kDevicePollMs = 2000;

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

const QIcon& folderIcon() {
    static const QIcon icon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    return icon;
}

const QIcon& driveIcon() {
    static const QIcon icon = QFileIconProvider().icon(QAbstractFileIconProvider::Drive);
    return icon;
}

TDriveType driveTypeOf(platform::DriveKind kind) {
    switch (kind) {
    case platform::DriveKind::Removable:
        return drtRemovable;
    case platform::DriveKind::Fixed:
        return drtFixed;
    case platform::DriveKind::Remote:
        return drtRemote;
    case platform::DriveKind::CdRom:
        return drtCDRom;
    case platform::DriveKind::RamDisk:
        return drtRamDisk;
    default:
        return drtUnknown;
    }
}

std::string withSlash(const std::string& p) {
    return !p.empty() && p.back() == '/' ? p : p + '/';
}

std::string withoutSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// An absolute, lexically clean folder path with a trailing '/'.
std::string cleanFolder(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    if (!p.is_absolute()) p = fs::path(platform::currentDir()) / p;
    return withSlash(p.lexically_normal().string());
}

bool isTrashName(const std::string& c) {
    if (c == ".Trash") return true;
    if (c.rfind(".Trash-", 0) != 0 || c.size() == 7) return false;
    return std::all_of(c.begin() + 7, c.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// Whether `path` (with a trailing '/') lies below a trash folder: the home trash, or the
// ".Trash" / ".Trash-UID" folders at the top of other file systems. The trash folder
// itself is not below one.
bool belowTrash(const std::string& path) {
    const std::string home = withSlash(platform::homeTrashDir());
    if (path.size() > home.size() && path.compare(0, home.size(), home) == 0) return true;
    size_t start = 1;
    while (start < path.size()) {
        const size_t end = path.find('/', start);
        if (end == std::string::npos) break;
        if (isTrashName(path.substr(start, end - start)) && end + 1 < path.size()) return true;
        start = end + 1;
    }
    return false;
}

} // namespace

// A folder's node: its path (bytes, trailing '/') and whether its children were read.
class TDirNode : public QTreeWidgetItem {
public:
    TDirNode(TDirTree* tree, std::string path)
        : QTreeWidgetItem(kNodeType), Tree(tree), Path(std::move(path)) {}
    ~TDirNode() override {
        if (Tree) Tree->NodeDeleted(this);
    }
    TDirTree* Tree;
    std::string Path;
    bool Read = false;
    void* User = nullptr;
};

namespace {
TDirNode* asNode(const QTreeWidgetItem* item) {
    return item && item->type() == kNodeType ? static_cast<TDirNode*>(const_cast<QTreeWidgetItem*>(item))
                                             : nullptr;
}
} // namespace

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent), FInitialDirectory(platform::currentDir()) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The selection stays visible when the tree loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ReadChildren(item); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] {
        if (!FUpdating) SelectionChanged();
    });
    FDeviceTimer = new QTimer(this);
    FDeviceTimer->setInterval(kDevicePollMs);
    connect(FDeviceTimer, &QTimer::timeout, this, &TDirTree::CheckDevices);
}

TDirTree::~TDirTree() {
    ClearNodes();
}

void TDirTree::NodeDeleted(QTreeWidgetItem* node) {
    if (node == FDropTarget) FDropTarget = nullptr;
    if (OnDeleteItem) OnDeleteItem(this, node);
}

void TDirTree::ClearNodes() {
    ++FUpdating;
    while (topLevelItemCount() > 0) delete takeTopLevelItem(topLevelItemCount() - 1);
    --FUpdating;
}

// ---------------------------------------------------------------- properties

void TDirTree::SetDirTypes(TDirTypes types) {
    if (types == FDirTypes) return;
    FDirTypes = types;
    if (FBuilt) Reload();
}

void TDirTree::SetGoBelowRecycleBin(bool go) {
    if (go == FGoBelowRecycleBin) return;
    FGoBelowRecycleBin = go;
    if (FBuilt) Reload();
}

void TDirTree::SetInitialDirectory(const std::string& dir) {
    FInitialDirectory = dir;
    FInitialPending = true;
}

void TDirTree::SetDriveTypes(TDriveTypes types) {
    if (types == FDriveTypes) return;
    FDriveTypes = types;
    if (FBuilt) CheckDevices();
}

void TDirTree::SetShowShareOverlay(bool show) {
    // Folders are not shared through the desktop here: no node ever carries the overlay.
    FShowShareOverlay = show;
}

void TDirTree::SetAcceptDropFiles(bool accept) {
    FAcceptDropFiles = accept;
    setAcceptDrops(accept);
    viewport()->setAcceptDrops(accept);
}

// ---------------------------------------------------------------- rules and reading

bool TDirTree::FolderAllowed(const std::string& path) {
    if (!FGoBelowRecycleBin && belowTrash(path)) return false;
    bool doAdd = true;
    if (OnAddDir) OnAddDir(this, path, doAdd);
    return doAdd;
}

bool TDirTree::AttributesAllowed(const std::string& name, uint32_t) const {
    if (FDirTypes & dtAll) return true;
    // System and archive flags mean nothing on this file system: only hidden is told apart.
    if (!name.empty() && name[0] == '.') return (FDirTypes & dtHidden) != 0;
    return (FDirTypes & dtNormal) != 0;
}

std::vector<std::string> TDirTree::FindSubfolders(const std::string& path, bool stopAtFirst) {
    std::vector<std::string> out;
    auto consider = [&](const std::string& name, uint32_t attrs) {
        if (!(attrs & platform::faDirectory) || name.empty() || name == "." || name == "..") return;
        if (attrs == platform::kInvalidAttributes) return;
        if (AttributesAllowed(name, attrs) && FolderAllowed(path + name + "/")) out.push_back(name);
    };
    if (OnFindDir) {
        TDirRec rec;
        int result = 0;
        OnFindDir(this, path, rec, result, true);
        while (result == 0 && !(stopAtFirst && !out.empty())) {
            consider(rec.Name, rec.Attr);
            OnFindDir(this, path, rec, result, false);
        }
    } else if (auto entries = platform::listDir(path)) {
        for (const auto& e : *entries) {
            consider(e.name, e.attrs);
            if (stopAtFirst && !out.empty()) break;
        }
    }
    return out;
}

void TDirTree::Probe(QTreeWidgetItem* node) {
    auto* n = asNode(node);
    if (!n || n->childCount() > 0) return;
    if (!FindSubfolders(n->Path, true).empty()) n->addChild(new QTreeWidgetItem(kPlaceholderType));
}

bool TDirTree::ChildrenRead(const QTreeWidgetItem* node) const {
    auto* n = asNode(node);
    return n && n->Read;
}

void TDirTree::ReadChildren(QTreeWidgetItem* node) {
    auto* n = asNode(node);
    if (!n || n->Read) return;
    ++FUpdating;
    qDeleteAll(n->takeChildren());
    n->Read = true;
    auto names = FindSubfolders(n->Path, false);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        auto* child = new TDirNode(this, n->Path + name + "/");
        child->setText(0, QFile::decodeName(QByteArray::fromStdString(name)));
        child->setIcon(0, folderIcon());
        n->addChild(child);
        if (OnGetIcon) OnGetIcon(this, child);
    }
    for (int i = 0; i < n->childCount(); ++i) Probe(n->child(i));
    --FUpdating;
}

std::string TDirTree::NodePath(const QTreeWidgetItem* node) {
    auto* n = asNode(node);
    return n ? n->Path : std::string();
}

std::string TDirTree::DriveRootOfNode(const QTreeWidgetItem* node) {
    while (node && node->parent()) node = node->parent();
    const std::string p = NodePath(node);
    return p.empty() ? p : withoutSlash(p);
}

// ---------------------------------------------------------------- building

QTreeWidgetItem* TDirTree::AddDriveNode(const TDriveInfo& drive, int index) {
    auto* node = new TDirNode(this, withSlash(drive.Root));
    node->setText(0, QFile::decodeName(QByteArray::fromStdString(drive.Text)));
    node->setIcon(0, driveIcon());
    if (index < 0)
        addTopLevelItem(node);
    else
        insertTopLevelItem(index, node);
    FSerials[drive.Root] = drive.Serial;
    FLastVisited.emplace(drive.Root, drive.Root);
    using platform::DriveKind;
    const bool probeNow = !FastLoad && (drive.Kind == DriveKind::Fixed || drive.Kind == DriveKind::Remote ||
                                        drive.Kind == DriveKind::RamDisk);
    if (probeNow)
        Probe(node);
    else
        node->addChild(new QTreeWidgetItem(kPlaceholderType));
    if (OnGetIcon) OnGetIcon(this, node);
    return node;
}

namespace {
bool driveWanted(const TDriveInfo& d, TDriveTypes types) {
    // A drive reported as having no root folder always stays.
    return d.Kind == platform::DriveKind::NoRootDir || (types & driveTypeOf(d.Kind)) != 0;
}
} // namespace

void TDirTree::Build() {
    WaitCursor wait;
    ++FUpdating;
    ClearNodes();
    FDrives.clear();
    const std::string current = platform::currentDir();
    for (auto& d : ListDrives()) {
        if (!driveWanted(d, FDriveTypes) || !FolderAllowed(withSlash(d.Root))) continue;
        FDrives.push_back(d);
        AddDriveNode(d);
    }
    if (auto root = DriveRootOf(FDrives, current); !root.empty() && FLastVisited[root] == root)
        FLastVisited[root] = current;
    FBuilt = true;
    --FUpdating;
}

void TDirTree::EnsureBuilt() {
    if (!FBuilt) Build();
}

QTreeWidgetItem* TDirTree::DriveNode(const std::string& root) const {
    const std::string p = withSlash(root);
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (NodePath(topLevelItem(i)) == p) return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* TDirTree::FindChild(QTreeWidgetItem* parent, const std::string& path) {
    ReadChildren(parent);
    for (int i = 0; i < parent->childCount(); ++i)
        if (NodePath(parent->child(i)) == path) return parent->child(i);
    return nullptr;
}

// ---------------------------------------------------------------- interfaces

void TDirTree::OpenPath(const std::string& path) {
    if (path.empty()) throw std::invalid_argument("Invalid Path Name");
    if (path == "?") return;
    EnsureBuilt();
    FInitialPending = false;
    std::string target = cleanFolder(path);
    if (!platform::dirExists(target)) {
        const std::string current = DriveRootOf(FDrives, platform::currentDir());
        target = withSlash(current.empty() ? std::string("/") : current);
    }
    WaitCursor wait;
    const std::string root = DriveRootOf(FDrives, withoutSlash(target));
    QTreeWidgetItem* node = root.empty() ? nullptr : DriveNode(root);
    if (!node) return;
    const std::string rootPath = withSlash(root);
    for (size_t pos = rootPath.size(); pos < target.size();) {
        const size_t end = target.find('/', pos);
        node = FindChild(node, target.substr(0, end + 1));
        if (!node) return;
        pos = end + 1;
    }
    setCurrentItem(node);
    scrollToItem(node);
}

std::string TDirTree::GetSelectedPath() const {
    const std::string p = NodePath(currentItem());
    return p.empty() ? "?" : withoutSlash(p);
}

std::string TDirTree::GetSelectedDrive() const {
    return DriveRootOfNode(currentItem());
}

void TDirTree::Reload() {
    const std::string remembered = GetSelectedPath();
    Build();
    if (remembered != "?") {
        OpenPath(remembered);
        if (!currentItem()) {
            const std::string root = DriveRootOf(FDrives, remembered);
            if (!root.empty()) OpenPath(root);
        }
    }
    if (currentItem() || topLevelItemCount() == 0) return;
    QTreeWidgetItem* drive = topLevelItem(topLevelItemCount() - 1);
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->childCount() == 0) {
            drive = topLevelItem(i);
            break;
        }
    const std::string root = DriveRootOfNode(drive);
    const std::string last = FLastVisited.count(root) ? FLastVisited[root] : root;
    OpenPath(last);
    if (GetSelectedPath() != withoutSlash(last)) {
        ++FUpdating;
        setCurrentItem(drive);
        --FUpdating;
        SelectionChanged();
    }
}

// ---------------------------------------------------------------- disk changes

void TDirTree::ReReadDrive(QTreeWidgetItem* driveNode) {
    auto* n = asNode(driveNode);
    if (!n) return;
    const std::string root = withoutSlash(n->Path);
    const TDriveInfo info = DescribeDrive(root);
    FSerials[root] = info.Serial;
    ++FUpdating;
    const bool wasCurrentBelow =
        currentItem() && currentItem() != n && DriveRootOfNode(currentItem()) == root;
    n->setText(0, QFile::decodeName(QByteArray::fromStdString(info.Text)));
    qDeleteAll(n->takeChildren());
    n->Read = false;
    ReadChildren(n);
    if (wasCurrentBelow || !currentItem()) setCurrentItem(n);
    --FUpdating;
}

void TDirTree::CheckSerial(QTreeWidgetItem* driveNode) {
    const std::string root = DriveRootOfNode(driveNode);
    if (root.empty()) return;
    const TDriveInfo info = DescribeDrive(root);
    auto it = FSerials.find(root);
    if (it != FSerials.end() && it->second == info.Serial) return;
    ReReadDrive(driveNode);
}

void TDirTree::SelectionChanged() {
    QTreeWidgetItem* node = currentItem();
    if (!node) return;
    QTreeWidgetItem* drive = node;
    while (drive->parent()) drive = drive->parent();
    CheckSerial(drive);
    if (currentItem()) FLastVisited[DriveRootOfNode(currentItem())] = GetSelectedPath();
}

void TDirTree::CheckDevices() {
    if (!FBuilt) return;
    std::vector<TDriveInfo> now;
    for (auto& d : ListDrives())
        if (driveWanted(d, FDriveTypes) && FolderAllowed(withSlash(d.Root))) now.push_back(d);
    auto has = [](const std::vector<TDriveInfo>& list, const std::string& root) {
        return std::any_of(list.begin(), list.end(), [&](const TDriveInfo& d) { return d.Root == root; });
    };
    bool changed = false;
    ++FUpdating;
    for (const auto& d : FDrives)
        if (!has(now, d.Root)) {
            delete DriveNode(d.Root);
            changed = true;
        }
    for (size_t i = 0; i < now.size(); ++i)
        if (!has(FDrives, now[i].Root)) {
            AddDriveNode(now[i], int(i));
            changed = true;
        }
    FDrives = now;
    --FUpdating;
    if (!changed) {
        for (auto it = FDrives.rbegin(); it != FDrives.rend(); ++it) {
            auto known = FSerials.find(it->Root);
            if (known != FSerials.end() && known->second != it->Serial) {
                ReReadDrive(DriveNode(it->Root));
                break;
            }
        }
    }
    SelectionChanged();
}

// ---------------------------------------------------------------- events

void TDirTree::showEvent(QShowEvent* e) {
    QTreeWidget::showEvent(e);
    if (ReadOnStart) EnsureBuilt();
    if (FInitialPending && FBuilt) {
        FInitialPending = false;
        OpenPath(platform::dirExists(FInitialDirectory) ? FInitialDirectory : platform::currentDir());
    }
    FDeviceTimer->start();
}

void TDirTree::mousePressEvent(QMouseEvent* e) {
    // A click on a drive whose disk was changed reads it afresh, selected or not.
    if (QTreeWidgetItem* item = itemAt(e->position().toPoint())) {
        while (item->parent()) item = item->parent();
        CheckSerial(item);
    }
    QTreeWidget::mousePressEvent(e);
}

void TDirTree::dragEnterEvent(QDragEnterEvent* e) {
    if (FAcceptDropFiles && e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        e->ignore();
}

void TDirTree::dragMoveEvent(QDragMoveEvent* e) {
    if (!FAcceptDropFiles || !e->mimeData()->hasUrls()) return e->ignore();
    FDropTarget = itemAt(e->position().toPoint());
    e->acceptProposedAction();
}

void TDirTree::dropEvent(QDropEvent* e) {
    if (!FAcceptDropFiles || !e->mimeData()->hasUrls()) return e->ignore();
    const QPoint at = e->position().toPoint();
    FDropTarget = itemAt(at);
    std::vector<std::string> files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    TShiftState shift = 0;
    const auto mods = e->modifiers();
    if (mods & Qt::ShiftModifier) shift |= ssShift;
    if (mods & Qt::ControlModifier) shift |= ssCtrl;
    if (mods & Qt::AltModifier) shift |= ssAlt;
    const std::string dir = FDropTarget ? withoutSlash(NodePath(FDropTarget)) : std::string();
    e->acceptProposedAction();
    if (OnDropFiles) OnDropFiles(this, at.x(), at.y(), dir, files, shift);
    FDropTarget = nullptr;
}
