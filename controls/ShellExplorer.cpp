#include "controls/ShellExplorer.h"
#include "controls/ShellPaths.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <random>

#include <sys/stat.h>

#include "platform/fileio.h"
#include "platform/trash.h"
#include "platform/ui_hooks.h"

namespace fs = std::filesystem;

using namespace shellpaths;

namespace {

void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}

} // namespace

// ================================================================ support routines

TShellLaunch& ShellLaunchHook() {
    static TShellLaunch hook;
    return hook;
}

TShellStart& ShellStartHook() {
    static TShellStart hook;
    return hook;
}

bool ShellStartProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& folder) {
    if (ShellStartHook()) return ShellStartHook()(program, args, folder);
    QStringList list;
    for (const auto& a : args) list << qpath(a);
    return QProcess::startDetached(qpath(program), list, qpath(folder));
}

bool ShellOpenFile(const std::string& operation, const std::string& file, const std::string& params,
                   const std::string& folder, int) {
    bool ok;
    if (ShellLaunchHook())
        ok = ShellLaunchHook()(operation, file, params, folder);
    else
        ok = !file.empty() && QDesktopServices::openUrl(QUrl::fromLocalFile(qpath(file)));
    if (!ok) errorBox("ERROR - Can't " + operation + " file  " + file);
    return ok;
}

namespace {

enum class Answer { Replace, Skip, Cancel };

Answer askReplace(const std::string& target) {
    const auto r = platform::messageBox("Confirm", "\"" + target + "\" already exists. Replace it?",
                                        platform::MsgType::Confirmation,
                                        platform::mbYes | platform::mbNo | platform::mbCancel);
    return r == platform::ModalResult::Yes  ? Answer::Replace
           : r == platform::ModalResult::No ? Answer::Skip
                                            : Answer::Cancel;
}

// A name beside `path` that nothing uses yet.
std::string freshNameBeside(const std::string& path) {
    static std::mt19937 gen{std::random_device{}()};
    const std::string dir = fs::path(path).parent_path().string();
    for (;;) {
        const std::string candidate = dir + "/.pv-" + std::to_string(gen() % 1000000000u) + ".tmp";
        if (!platform::pathExists(candidate)) return candidate;
    }
}

// Copies a file, a symlink (as a link) or a folder with everything below it; times and
// modes kept. `to` must not exist.
bool copyItem(const std::string& from, const std::string& to) {
    std::error_code ec;
    const auto st = fs::symlink_status(from, ec);
    if (ec) return false;
    if (fs::is_symlink(st)) {
        fs::copy_symlink(from, to, ec);
        return !ec;
    }
    if (fs::is_directory(st)) {
        if (!platform::makeDir(to)) return false;
        auto entries = platform::listDir(from);
        if (!entries) return false;
        for (const auto& e : *entries)
            if (!copyItem(from + "/" + e.name, to + "/" + e.name)) return false;
        fs::permissions(to, fs::status(from, ec).permissions(), ec);
        return true;
    }
    fs::copy_file(from, to, fs::copy_options::none, ec);
    if (ec) return false;
    if (auto t = platform::fileTimes(from)) platform::setFileTimes(to, t->lastWrite, t->lastAccess);
    return true;
}

// Puts `built` (a finished copy beside `dest`) in the place of `dest`. The old item goes
// only after the new one is in place.
bool swapInto(const std::string& built, const std::string& dest) {
    std::error_code ec;
    const auto st = fs::symlink_status(dest, ec);
    if (!ec && fs::is_directory(st)) {
        const std::string old = freshNameBeside(dest);
        if (!platform::renameFile(dest, old)) return false;
        if (!platform::renameFile(built, dest)) {
            platform::renameFile(old, dest);
            return false;
        }
        fs::remove_all(old, ec);
        return true;
    }
    return platform::renameFile(built, dest); // replaces a file or a link at once
}

bool isInside(const std::string& path, const std::string& folder) {
    const std::string f = AddSlash(folder);
    return path.size() >= f.size() && path.compare(0, f.size(), f) == 0;
}

// One item copied or moved to `dest`. False with `cancelled` set when the user stopped.
bool placeItem(const std::string& src, const std::string& dest, bool move, bool& cancelled) {
    if (!platform::pathExists(src) || DelSlash(src) == DelSlash(dest) || isInside(dest, src)) return false;
    const bool exists = platform::pathExists(dest);
    if (exists) {
        const Answer a = askReplace(dest);
        if (a == Answer::Cancel) cancelled = true;
        if (a != Answer::Replace) return false;
    }
    if (move) {
        // Same file system: the source itself becomes the new item.
        if (!exists) {
            if (platform::renameFile(src, dest)) return true;
        } else {
            const std::string staged = freshNameBeside(dest);
            if (platform::renameFile(src, staged)) {
                if (swapInto(staged, dest)) return true;
                platform::renameFile(staged, src);
                return false;
            }
        }
        if (errno != EXDEV) return false;
    }
    // A copy, or a move to another file system: the whole copy first, then the source goes.
    const std::string staged = freshNameBeside(dest);
    std::error_code ec;
    if (!copyItem(src, staged) || !(exists ? swapInto(staged, dest) : platform::renameFile(staged, dest))) {
        fs::remove_all(staged, ec);
        return false;
    }
    if (move) fs::remove_all(src, ec);
    return !ec;
}

} // namespace

bool ShellFileOperation(TShellOp op, const std::vector<std::string>& sources, const std::string& target) {
    if (sources.empty()) return false;
    if (op == TShellOp::Delete) {
        const std::string what = sources.size() == 1 ? "\"" + nameOf(sources[0]) + "\""
                                                     : "these " + std::to_string(sources.size()) + " items";
        if (platform::messageBox("Confirm", "Do you really want to move " + what + " to the trash?",
                                 platform::MsgType::Confirmation,
                                 platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
            return false;
        bool all = true;
        for (const auto& s : sources) {
            std::string error;
            if (!platform::moveToTrash(DelSlash(s), &error)) {
                errorBox(error.empty() ? "Cannot move \"" + s + "\" to the trash" : error);
                all = false;
            }
        }
        return all;
    }
    if (target.empty()) return false;
    bool all = true, cancelled = false;
    const bool intoFolder =
        op != TShellOp::Rename && (sources.size() > 1 || platform::dirExists(target) || target.back() == '/');
    if (op == TShellOp::Rename && sources.size() != 1) return false;
    for (const auto& s : sources) {
        const std::string src = DelSlash(s);
        const std::string dest = intoFolder ? AddSlash(target) + nameOf(src) : DelSlash(target);
        if (!placeItem(src, dest, op != TShellOp::Copy, cancelled)) all = false;
        if (cancelled) break;
    }
    return all && !cancelled;
}

bool ContainsAnyChar(const std::string& name, const std::string& chars) {
    return name.find_first_of(chars) != std::string::npos;
}

std::string BrowseForFolder(QWidget* parent) {
    const QString dir = QFileDialog::getExistingDirectory(parent, "Please specify a directory");
    return dir.isEmpty() ? std::string() : AddSlash(QFile::encodeName(dir).toStdString());
}

namespace {
int64_t diskKB(const std::string& path, bool total) {
    platform::VolumeSpace s;
    if (!platform::volumeFreeSpace(path, s)) return -1;
    const double bytes = double(total ? s.totalClusters : s.freeClusters) * double(s.sectorsPerCluster) *
                         double(s.bytesPerSector);
    return int64_t(std::nearbyint(bytes / 1024.0)); // ties to even
}
} // namespace

int64_t DiskSizeKB(const std::string& path) {
    return diskKB(path, true);
}

int64_t DiskFreeKB(const std::string& path) {
    return diskKB(path, false);
}

bool CheckDriveReady(const std::string& root, bool messages) {
    const std::string r = root.size() > 1 ? DelSlash(root) : root;
    const auto drives = ListDrives();
    if (r.empty() || DriveRootOf(drives, r) != r) {
        errorBox("Not a valid Drive ID");
        return false;
    }
    if (DiskSizeKB(r) >= 0) return true;
    if (messages) {
        QApplication::beep();
        errorBox("ERROR - There is no disk in Drive " + r + "\r" + "                or Drive " + r +
                 " is not ready");
    }
    return false;
}

std::string AddSlash(const std::string& path) {
    return !path.empty() && path.back() == '/' ? path : path + '/';
}

std::string DelSlash(const std::string& path) {
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

std::string FileTimeToText(int64_t unixTime) {
    const QDateTime t = QDateTime::fromSecsSinceEpoch(unixTime).toLocalTime();
    const QLocale l;
    return (l.toString(t.date(), QLocale::ShortFormat) + " " + l.toString(t.time(), "hh:mm:ss"))
        .toStdString();
}

bool NameExists(const std::string& path, const std::string& name) {
    if (!platform::pathExists(path)) return false;
    errorBox("ERROR - \"" + name + "\" already exists !");
    return true;
}

QIcon SmallIcon(const std::string& path) {
    return QFileIconProvider().icon(QFileInfo(qpath(path)));
}

QIcon OpenIcon(const std::string& path) {
    // The desktop's icons have no opened form; the folder's own icon serves both.
    return SmallIcon(path);
}

std::string SizeInKB(int64_t size, const std::string& type) {
    if (type == "DIR" || size <= 0) return "0";
    return std::to_string(size < 1024 ? 1 : size / 1024);
}

// ================================================================ the drop-down tree

namespace {
constexpr int kPathRole = Qt::UserRole + 1; // QByteArray: the node's folder
constexpr int kKindRole = Qt::UserRole + 2; // int: 0 folder, 1 computer, 2 drive
constexpr int kDriveKindRole = Qt::UserRole + 3;
constexpr int kReadRole = Qt::UserRole + 4;

bool hasSubfolder(const std::string& path) {
    auto entries = platform::listDir(path);
    if (!entries) return false;
    for (const auto& e : *entries)
        if (e.attrs & platform::faDirectory) return true;
    return false;
}
} // namespace

TShFolderTree::TShFolderTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* n) { Expanding(n); });
}

TShDirTreeView::TShDirTreeView(TShDirTreeCombo* combo) : TShFolderTree(combo), FCombo(combo) {
    // A popup of its own: it may reach beyond the form and it has the mouse while shown.
    setWindowFlags(Qt::Popup);
    setMouseTracking(true);
    setFrameShape(QFrame::Box);
    resize(216, 240);
}

bool TShFolderTree::IsComputer(const QTreeWidgetItem* node) {
    return node && node->data(0, kKindRole).toInt() == 1;
}

bool TShFolderTree::IsDrive(const QTreeWidgetItem* node) {
    return node && node->data(0, kKindRole).toInt() == 2;
}

platform::DriveKind TShFolderTree::KindOf(const QTreeWidgetItem* node) {
    return platform::DriveKind(node ? node->data(0, kDriveKindRole).toInt() : 0);
}

std::string TShFolderTree::NodePath(const QTreeWidgetItem* node) {
    return node ? node->data(0, kPathRole).toByteArray().toStdString() : std::string();
}

void TShFolderTree::Repoint(QTreeWidgetItem* node, const std::string& path) {
    node->setData(0, kPathRole, QByteArray::fromStdString(path));
    qDeleteAll(node->takeChildren());
    node->setData(0, kReadRole, false);
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

int TShFolderTree::Level(const QTreeWidgetItem* node) {
    int level = 0;
    for (; node && node->parent(); node = node->parent()) ++level;
    return level;
}

void TShFolderTree::LoadDrives() {
    clear();
    auto* computer = new QTreeWidgetItem(this);
    computer->setText(0, "Computer");
    computer->setIcon(0, QFileIconProvider().icon(QAbstractFileIconProvider::Computer));
    computer->setData(0, kKindRole, 1);
    const QIcon driveIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Drive);
    for (const auto& d : ListDrives()) {
        auto* node = new QTreeWidgetItem(computer);
        const std::string label = d.Label.empty() ? std::string() : d.Label + " ";
        node->setText(0, qpath(" (" + d.Root + ")  " + label));
        node->setIcon(0, driveIcon);
        node->setData(0, kKindRole, 2);
        node->setData(0, kDriveKindRole, int(d.Kind));
        node->setData(0, kPathRole, QByteArray::fromStdString(AddSlash(d.Root)));
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

void TShFolderTree::AddSubFolders(QTreeWidgetItem* node, const std::string& path) {
    auto entries = platform::listDir(path);
    if (!entries) return;
    const std::string base = AddSlash(path);
    const QIcon folder = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    // Each node is made complete before it joins the tree, so the tree hears of it once.
    QList<QTreeWidgetItem*> children;
    for (const auto& e : *entries) {
        if (!(e.attrs & platform::faDirectory)) continue;
        auto* child = new QTreeWidgetItem;
        child->setData(0, kPathRole, QByteArray::fromStdString(base + e.name));
        child->setText(0, qpath(e.name));
        child->setIcon(0, folder);
        child->setChildIndicatorPolicy(hasSubfolder(base + e.name) ? QTreeWidgetItem::ShowIndicator
                                                                   : QTreeWidgetItem::DontShowIndicator);
        children.push_back(child);
    }
    node->addChildren(children);
}

void TShFolderTree::Expanding(QTreeWidgetItem* node) {
    if (!node) return;
    if (!IsComputer(node) && !node->data(0, kReadRole).toBool()) {
        node->setData(0, kReadRole, true);
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        AddSubFolders(node, NodePath(node));
    }
    node->sortChildren(0, Qt::AscendingOrder);
}

void TShDirTreeView::keyPressEvent(QKeyEvent* e) {
    if (!FCombo->HandleKey(e->key())) QTreeWidget::keyPressEvent(e);
}

void TShDirTreeView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (QTreeWidgetItem* item = itemAt(at); item && visualItemRect(item).contains(at)) setCurrentItem(item);
    QTreeWidget::mouseMoveEvent(e);
}

void TShDirTreeView::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton && !rect().contains(at)) {
        hide(); // a click outside the tree
        return;
    }
    QTreeWidgetItem* item = itemAt(at);
    if (e->button() == Qt::LeftButton && item && visualItemRect(item).contains(at)) {
        setCurrentItem(item);
        FCombo->ChooseNode(item);
        return;
    }
    QTreeWidget::mousePressEvent(e); // the expander, or nothing
}

void TShDirTreeView::enterEvent(QEnterEvent* e) {
    FMouseInside = true;
    QTreeWidget::enterEvent(e);
}

void TShDirTreeView::leaveEvent(QEvent* e) {
    FMouseInside = false;
    QTreeWidget::leaveEvent(e);
}

void TShDirTreeView::hideEvent(QHideEvent* e) {
    setEnabled(false);
    QTreeWidget::hideEvent(e);
}

// ================================================================ the combo

TShDirTreeCombo::TShDirTreeCombo(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    resize(216, 21);
    Btn = new QToolButton(this);
    Btn->setObjectName("Btn");
    Btn->setArrowType(Qt::DownArrow);
    Btn->setFocusPolicy(Qt::NoFocus);
    Btn->resize(17, 17);
    Tree = new TShDirTreeView(this);
    Tree->setEnabled(false);
    Tree->hide();
    connect(Btn, &QToolButton::clicked, this, [this] { DropDown(); });
    Tree->LoadDrives();
    SetExpandRoot(true);
    ShowNode(Tree->topLevelItem(0));
    PlaceButton();
}

TShDirTreeCombo::~TShDirTreeCombo() {
    if (FFileList) {
        disconnect(FListGone);
        FFileList->SetDirTreeCombo(nullptr);
    }
}

void TShDirTreeCombo::SetSelectedPath(const std::string& path) {
    if (path == Tree->FSelectedPath) return;
    Tree->FSelectedPath = path;
    if (FFileList) FFileList->SetDirectory(path);
}

void TShDirTreeCombo::SetFileList(TShFileListLink* list) {
    if (list == FFileList) return;
    if (FFileList) {
        disconnect(FListGone);
        TShFileListLink* old = FFileList;
        FFileList = nullptr;
        old->SetDirTreeCombo(nullptr);
    }
    FFileList = list;
    if (!list) return;
    FListGone = connect(list->LinkObject(), &QObject::destroyed, this, [this] { FFileList = nullptr; });
    list->SetDirTreeCombo(this);
    if (!Tree->FSelectedPath.empty()) {
        list->SetDirectory(Tree->FSelectedPath);
        list->RefreshList();
    }
}

void TShDirTreeCombo::SetExpandRoot(bool expand) {
    Tree->FExpandRoot = expand;
    if (expand && Tree->topLevelItem(0)) Tree->topLevelItem(0)->setExpanded(true);
}

QIcon TShDirTreeCombo::Glyph() const {
    return Btn->icon();
}

void TShDirTreeCombo::SetGlyph(const QIcon& glyph) {
    if (glyph.isNull()) return;
    Btn->setArrowType(Qt::NoArrow);
    Btn->setIcon(glyph);
}

int TShDirTreeCombo::TreeHeight() const {
    return Tree->height();
}

void TShDirTreeCombo::SetTreeHeight(int height) {
    Tree->resize(Tree->width(), height);
}

bool TShDirTreeCombo::DroppedDown() const {
    return Tree->isVisible();
}

void TShDirTreeCombo::DropDown() {
    if (Tree->isVisible()) {
        Tree->hide();
        return;
    }
    Tree->setGeometry(QRect(mapToGlobal(QPoint(0, height())), QSize(width(), Tree->height())));
    Tree->setEnabled(true);
    Tree->show();
    Tree->raise();
    Tree->setFocus();
    if (Tree->currentItem()) Tree->scrollToItem(Tree->currentItem());
}

void TShDirTreeCombo::ShowNode(QTreeWidgetItem* node) {
    if (!node) return;
    FImage = node->icon(0);
    setText(node->text(0));
    PlaceButton();
    update();
}

void TShDirTreeCombo::ChooseNode(QTreeWidgetItem* node) {
    if (!node) return;
    const bool computer = TShFolderTree::IsComputer(node);
    SetSelectedPath(computer ? "Drives" : TShFolderTree::NodePath(node));
    const bool notReady = TShFolderTree::IsDrive(node) &&
                          TShFolderTree::KindOf(node) == platform::DriveKind::Removable &&
                          !CheckDriveReady(DelSlash(TShFolderTree::NodePath(node)), true);
    // A drive that is not ready keeps the previous text.
    if (!notReady) ShowNode(node);
    Tree->hide();
}

bool TShDirTreeCombo::HandleKey(int key) {
    QTreeWidgetItem* cur = Tree->currentItem();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (cur) ChooseNode(cur);
        return true;
    case Qt::Key_Escape:
        if (Tree->isVisible()) Tree->hide();
        return true;
    case Qt::Key_Left: {
        if (!cur) return true;
        if (cur->isExpanded()) cur->setExpanded(false);
        QTreeWidgetItem* prev = Tree->itemAbove(cur);
        if (prev && !TShFolderTree::IsComputer(prev) && !TShFolderTree::IsComputer(cur))
            Tree->setCurrentItem(prev);
        return true;
    }
    case Qt::Key_Up:
        if (cur && !TShFolderTree::IsComputer(cur))
            if (QTreeWidgetItem* prev = Tree->itemAbove(cur)) Tree->setCurrentItem(prev);
        return true;
    case Qt::Key_Right:
        if (cur) cur->setExpanded(true);
        return true;
    case Qt::Key_Down: {
        QTreeWidgetItem* next = cur ? Tree->itemBelow(cur) : Tree->topLevelItem(0);
        if (next) Tree->setCurrentItem(next);
        return true;
    }
    case Qt::Key_F4:
        DropDown();
        if (Tree->isVisible()) Tree->setFocus();
        return true;
    default:
        return false;
    }
}

void TShDirTreeCombo::keyPressEvent(QKeyEvent* e) {
    if (!HandleKey(e->key())) QLineEdit::keyPressEvent(e);
}

QTreeWidgetItem* TShFolderTree::WalkTo(const std::string& path) {
    if (path.empty() || path[0] != '/') return nullptr;
    // A folder that vanished since: its deepest existing parent.
    std::string target = DelSlash(fs::path(path).lexically_normal().string());
    while (target.size() > 1 && !platform::dirExists(target))
        target = fs::path(target).parent_path().string();
    if (!platform::dirExists(target)) return nullptr;
    if (topLevelItemCount() == 0) LoadDrives();
    QTreeWidgetItem* computer = topLevelItem(0);
    setUpdatesEnabled(false);
    computer->setExpanded(false);
    for (int i = 0; i < computer->childCount(); ++i) computer->child(i)->setExpanded(false);
    computer->setExpanded(true);
    // The drive: the deepest root that holds the path.
    QTreeWidgetItem* node = nullptr;
    std::string nodeRoot;
    for (int i = 0; i < computer->childCount(); ++i) {
        const std::string root = DelSlash(NodePath(computer->child(i)));
        if (PathOnRoot(target, root) && (!node || root.size() > nodeRoot.size())) {
            node = computer->child(i);
            nodeRoot = root;
        }
    }
    if (node) {
        setCurrentItem(node);
        node->setExpanded(true);
        const std::string base = AddSlash(nodeRoot);
        for (size_t pos = base.size(); pos < target.size();) {
            size_t end = target.find('/', pos);
            if (end == std::string::npos) end = target.size();
            const std::string want = target.substr(0, end);
            QTreeWidgetItem* found = nullptr;
            for (int i = 0; i < node->childCount() && !found; ++i)
                if (NodePath(node->child(i)) == want) found = node->child(i);
            if (!found) break;
            node = found;
            setCurrentItem(node);
            node->setExpanded(true);
            pos = end + 1;
        }
    }
    setUpdatesEnabled(true);
    return node;
}

void TShDirTreeCombo::OpenPath(const std::string& path) {
    if (!Tree->WalkTo(path)) return;
    if (QTreeWidgetItem* cur = Tree->currentItem()) {
        ShowNode(cur);
        Tree->FSelectedPath = AddSlash(TShFolderTree::NodePath(cur));
    }
}

void TShDirTreeCombo::ResetTree() {
    Tree->setCurrentItem(nullptr);
    Tree->LoadDrives();
    SetExpandRoot(Tree->FExpandRoot);
    ShowNode(Tree->topLevelItem(0));
}

namespace {
// The node's image at the left of the combo, and the room the text keeps from it.
constexpr int kImageLeft = 5, kImageSize = 16, kImageGap = 6;
} // namespace

void TShDirTreeCombo::PlaceButton() {
    Btn->setGeometry(width() - Btn->width() - 4, 2, Btn->width(), std::max(1, height() - 4));
    setTextMargins(FImage.isNull() ? 0 : kImageLeft + kImageSize + kImageGap - 4, 0, Btn->width() + 4, 0);
}

void TShDirTreeCombo::resizeEvent(QResizeEvent* e) {
    QLineEdit::resizeEvent(e);
    PlaceButton();
}

void TShDirTreeCombo::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    if (FImage.isNull()) return;
    QPainter p(this);
    p.drawPixmap(kImageLeft, (height() - kImageSize) / 2, FImage.pixmap(kImageSize, kImageSize));
}
