// The stand-alone folder tree of the explorer widgets and its context menu (declared in
// ShellExplorer.h).
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <set>

#include <sys/stat.h>

#include "controls/ShellExplorer.h"
#include "common/PathParts.h"
#include "controls/ShellPaths.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using namespace shellpaths;

namespace {

void box(const std::string& caption, const std::string& text, platform::MsgType type) {
    platform::messageBox(caption, text, type, platform::mbOK);
}

// The characters a folder name may not hold (those of the system the names were first
// made for, kept so that folders stay portable), and NUL.
bool validFolderName(const std::string& name) {
    return pvcommon::IsSingleName(name) && name.find_first_of("\\*?=\"<>|:,;+^") == std::string::npos;
}

// Bytes of the files directly in `folder` (links not followed).
int64_t filesBytes(const std::string& folder) {
    int64_t total = 0;
    if (auto entries = platform::listDir(folder))
        for (const auto& e : *entries)
            if (!(e.attrs & platform::faDirectory) && !(e.attrs & platform::faSymLink)) total += e.size;
    return total;
}

} // namespace

TShDirTreePopUp::TShDirTreePopUp(QWidget* parent) : QMenu(parent) {
    setObjectName("TShDirTreePopUp");
    auto add = [this](const char* text, const char* name, QStyle::StandardPixmap icon) {
        addAction(style()->standardIcon(icon), text)->setObjectName(name);
    };
    add("&New Folder", "AddNode", QStyle::SP_FileDialogNewFolder);
    add("&Rename Folder", "EditNode", QStyle::SP_FileDialogDetailedView);
    add("&Delete Folder", "DelNode", QStyle::SP_TrashIcon);
    addSeparator();
    add("&Tree Size", "GetTreeSize", QStyle::SP_FileDialogInfoView);
}

void TShDirTreePopUp::EnableFor(int level) {
    // A new folder and the tree size below the computer node; rename and delete for folders.
    Item("AddNode")->setEnabled(level > 0);
    Item("GetTreeSize")->setEnabled(level > 0);
    Item("EditNode")->setEnabled(level > 1);
    Item("DelNode")->setEnabled(level > 1);
}

TShDirTree::TShDirTree(QWidget* parent) : TShFolderTree(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    FMenu = new TShDirTreePopUp(this);
    connect(FMenu, &QMenu::triggered, this, [this](QAction* a) {
        QTreeWidgetItem* node = currentItem();
        const QString name = a->objectName();
        if (name == "AddNode")
            NewFolder(node);
        else if (name == "EditNode" && Level(node) >= 2) {
            node->setFlags(node->flags() | Qt::ItemIsEditable);
            editItem(node, 0);
        } else if (name == "DelNode")
            DeleteFolder(node);
        else if (name == "GetTreeSize")
            TreeSize(node);
    });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node, int column) {
        // Loading, sorting and repointing set texts too; only an edit renames.
        if (!FCommitting || column != 0 || Level(node) < 2) return;
        const std::string name = QFile::encodeName(node->text(0)).toStdString();
        if (name == nameOf(NodePath(node))) return;
        if (!RenameNode(node, name)) {
            QSignalBlocker quiet(this);
            node->setText(0, qpath(nameOf(NodePath(node))));
        }
    });
    LoadDrives();
    topLevelItem(0)->setExpanded(true);
}

void TShDirTree::commitData(QWidget* editor) {
    FCommitting = true;
    TShFolderTree::commitData(editor);
    FCommitting = false;
}

TShDirTree::~TShDirTree() {
    if (FList && FList->DirTree() == this) FList->SetDirTree(nullptr);
}

TShFilelistView* TShDirTree::FileList() const {
    return FList.data();
}

void TShDirTree::SetFileList(TShFilelistView* list) {
    if (list == FList.data()) return;
    TShFilelistView* old = FList.data();
    FList = list;
    if (old && old->DirTree() == this) old->SetDirTree(nullptr);
    if (!list) return;
    if (list->DirTree() != this) list->SetDirTree(this);
    if (!FSelectedPath.empty()) list->SetDirectory(FSelectedPath);
}

void TShDirTree::SetSelectedPath(const std::string& path) {
    if (path != FSelectedPath) FSelectedPath = path;
}

void TShDirTree::SetPopUpMenuEnabled(bool enabled) {
    FPopUpMenuEnabled = enabled;
}

void TShDirTree::Reload() {
    LoadDrives();
}

void TShDirTree::SelectPath(const std::string& path) {
    if (WalkTo(path) && currentItem()) FSelectedPath = AddSlash(NodePath(currentItem()));
}

void TShDirTree::ChooseNode(QTreeWidgetItem* node) {
    if (!node) return;
    if (IsComputer(node) && node->childCount() == 0) {
        LoadDrives();
        node = topLevelItem(0);
    }
    SetSelectedPath(IsComputer(node) ? "Drives" : NodePath(node));
    const auto kind = KindOf(node);
    if (IsDrive(node) && (kind == platform::DriveKind::Removable || kind == platform::DriveKind::CdRom) &&
        !CheckDriveReady(DelSlash(NodePath(node)), true))
        return;
    if (FList) FList->SetDirectory(FSelectedPath);
}

bool TShDirTree::RenameNode(QTreeWidgetItem* node, const std::string& name) {
    if (Level(node) < 2) return false;
    if (!validFolderName(name)) {
        QApplication::beep();
        if (!name.empty()) box("Error", "Error - Invalid Directory Name\r" + name, platform::MsgType::Error);
        FSkipRenameQuestion = false;
        return false;
    }
    const std::string oldPath = DelSlash(NodePath(node));
    const std::string parent = NodePath(node->parent());
    const std::string newPath = AddSlash(parent) + name;
    if (!FSkipRenameQuestion &&
        platform::messageBox("Confirm",
                             "Do you want to rename the selected folder\r\r    From  : " + nameOf(oldPath) +
                                 "\r    To     : " + name,
                             platform::MsgType::Confirmation,
                             platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
        return false;
    FSkipRenameQuestion = false;
    if (!ShellFileOperation(TShellOp::Rename, {oldPath}, newPath)) return false;
    {
        QSignalBlocker quiet(this);
        node->setText(0, qpath(name));
        Repoint(node, newPath);
    }
    setCurrentItem(node->parent());
    ChooseNode(node->parent());
    return true;
}

bool TShDirTree::NewFolder(QTreeWidgetItem* node, const std::string& given) {
    if (!node) return false;
    if (IsComputer(node)) {
        box("Error", "ERROR - Can't add drives", platform::MsgType::Error);
        return false;
    }
    const std::string name = given.empty() ? "New Folder" : given;
    if (!validFolderName(name)) {
        QApplication::beep();
        box("Error", "ERROR - Folder Name contains invalid characters", platform::MsgType::Error);
        return false;
    }
    const std::string path = AddSlash(NodePath(node)) + name;
    if (platform::pathExists(path) || !platform::makeDir(path)) {
        box("Error", "Can\"t create directory !", platform::MsgType::Error);
        return false;
    }
    Reload();
    SelectPath(path);
    if (name == "New Folder" && currentItem() && NodePath(currentItem()) == path) {
        FSkipRenameQuestion = true;
        currentItem()->setFlags(currentItem()->flags() | Qt::ItemIsEditable);
        editItem(currentItem(), 0);
    }
    return true;
}

bool TShDirTree::DeleteFolder(QTreeWidgetItem* node) {
    if (Level(node) < 2) return false;
    const std::string path = DelSlash(NodePath(node));
    if (!platform::dirExists(path)) {
        QApplication::beep();
        box("Error", "ERROR - " + path + "\r                not found", platform::MsgType::Error);
        return false;
    }
    if (!ShellFileOperation(TShellOp::Delete, {path})) return false;
    QTreeWidgetItem* parent = node->parent();
    setCurrentItem(parent);
    delete node;
    ChooseNode(parent);
    return true;
}

std::string TShDirTree::TreeSizeText(QTreeWidgetItem* node) {
    if (Level(node) < 1) return {};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string top = DelSlash(NodePath(node));
    // Every folder once, by its identity: links to folders are not followed, and a
    // folder reached twice (a bind mount) counts once.
    int64_t total = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            !seen.insert({st.st_dev, st.st_ino}).second)
            continue;
        total += filesBytes(dir);
        if (auto entries = platform::listDir(dir))
            for (const auto& e : *entries)
                if ((e.attrs & platform::faDirectory) && !(e.attrs & platform::faSymLink))
                    pending.push_back(AddSlash(dir) + e.name);
    }
    QApplication::restoreOverrideCursor();
    const double kb = total > 0 && total < 1024 ? 1.0 : double(total / 1024);
    const QLocale l;
    const QString size = kb > 99999 ? l.toString(kb / 1024, 'f', 2) + " MB" : l.toString(kb, 'f', 2) + " KB";
    const std::string what = IsDrive(node) ? "Drive " + AddSlash(top) : "Folder \"" + nameOf(top) + "\"";
    return "=== TREE SIZE ===\r\r" + what + "\rand all its Sub-Folders  =  " + size.toStdString();
}

void TShDirTree::TreeSize(QTreeWidgetItem* node) {
    const std::string text = TreeSizeText(node);
    if (!text.empty()) box("Information", text, platform::MsgType::Information);
}

QAction* TShDirTree::MenuItem(const QString& name) const {
    return FMenu->Item(name);
}

void TShDirTree::UpdateMenu() {
    FMenu->EnableFor(currentItem() ? Level(currentItem()) : -1);
}

void TShDirTree::contextMenuEvent(QContextMenuEvent* e) {
    if (!FPopUpMenuEnabled) return;
    UpdateMenu();
    FMenu->PopUpAt(e->globalPos());
}

void TShDirTree::mousePressEvent(QMouseEvent* e) {
    TShFolderTree::mousePressEvent(e);
    const QPoint at = e->position().toPoint();
    QTreeWidgetItem* node = itemAt(at);
    if (e->button() == Qt::LeftButton && node && visualItemRect(node).contains(at)) ChooseNode(node);
}

void TShDirTree::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        state() != QAbstractItemView::EditingState && currentItem()) {
        ChooseNode(currentItem());
        return;
    }
    TShFolderTree::keyPressEvent(e);
}
