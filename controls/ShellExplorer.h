// Explorer widgets and the routines they share: the folder combo whose drop-down is a
// folder tree (`TShDirTreeCombo` with `TShDirTreeView`), and the support routines for
// opening, copying, moving, renaming and deleting files, drives and sizes. The file list
// that a combo drives implements `TShFileListLink`.
#pragma once
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controls/Drives.h"

class QToolButton;
class TShDirTreeCombo;

// ---------------------------------------------------------------- support routines

// How the desktop carries out an operation ("open", "edit", "print", "run"...) on a
// file with parameters in a folder; the application points it at its launcher. Without
// it a file is opened with the desktop's default application.
using TShellLaunch = std::function<bool(const std::string& operation, const std::string& file,
                                        const std::string& params, const std::string& folder)>;
TShellLaunch& ShellLaunchHook();

// How the desktop starts a program with an argument list (no shell between); the
// application points it at its launcher. Without it the program is started detached.
using TShellStart = std::function<bool(const std::string& program, const std::vector<std::string>& args,
                                       const std::string& folder)>;
TShellStart& ShellStartHook();
bool ShellStartProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& folder);

// Carries out `operation` on `file`; on failure an error box "ERROR - Can't <operation>
// file  <file>". `showMode` is kept for callers; windows open as the desktop decides.
bool ShellOpenFile(const std::string& operation, const std::string& file, const std::string& params = {},
                   const std::string& folder = {}, int showMode = 1);

enum class TShellOp { Move = 1, Copy = 2, Delete = 3, Rename = 4 };
// Copies or moves `sources` into the folder `target` (one source may also be given its
// new full name), renames one source to `target`, or moves `sources` to the trash after
// asking. An existing target is never replaced without a Yes; a move across file systems
// copies everything before it removes the source. True only when every item was done:
// an item skipped (No), a Cancel or a failure answers false.
bool ShellFileOperation(TShellOp op, const std::vector<std::string>& sources, const std::string& target = {});

bool ContainsAnyChar(const std::string& name, const std::string& chars);
// The desktop's folder chooser titled "Please specify a directory"; the folder with a
// trailing '/', "" when cancelled.
std::string BrowseForFolder(QWidget* parent = nullptr);
// Size and free space of the drive holding `path` in KB (rounded); -1 when unreadable.
int64_t DiskSizeKB(const std::string& path);
int64_t DiskFreeKB(const std::string& path);
// Whether the drive whose root is `root` can be read. A path that is no drive's root
// shows "Not a valid Drive ID"; a drive without a readable medium is not ready, and with
// `messages` says so.
bool CheckDriveReady(const std::string& root, bool messages);
std::string AddSlash(const std::string& path);
std::string DelSlash(const std::string& path);
// A file time (seconds since 1970) as local date and time text.
std::string FileTimeToText(int64_t unixTime);
// True, after "ERROR - "<name>" already exists !", when something is at `path`.
bool NameExists(const std::string& path, const std::string& name);
QIcon SmallIcon(const std::string& path);
QIcon OpenIcon(const std::string& path);
// Whole KB as text; 1..1023 bytes count as 1 KB; a folder ("DIR") shows "0".
std::string SizeInKB(int64_t size, const std::string& type = {});

// ---------------------------------------------------------------- the file list link

// What a combo needs of the file list it drives. The list tells the combo of itself
// through `SetDirTreeCombo` and moves the combo along with `TShDirTreeCombo::OpenPath`.
class TShFileListLink {
public:
    virtual ~TShFileListLink() = default;
    virtual void SetDirectory(const std::string& dir) = 0;
    virtual void RefreshList() = 0;
    virtual void SetDirTreeCombo(TShDirTreeCombo* combo) = 0;
    // The object whose destruction ends the link.
    virtual QObject* LinkObject() = 0;
};

// ---------------------------------------------------------------- folder trees

// What the drop-down tree and the stand-alone tree share: node 0 the computer, one node
// per drive below it, folders below those, read on first expansion and sorted.
class TShFolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TShFolderTree(QWidget* parent = nullptr);

    // Node 0, the computer, with one node per drive.
    void LoadDrives();
    // A node's folder: a drive's root with '/', deeper folders without; "" for node 0.
    static std::string NodePath(const QTreeWidgetItem* node);
    // Reads a node's subfolders (once) and sorts them.
    void Expanding(QTreeWidgetItem* node);
    void AddSubFolders(QTreeWidgetItem* node, const std::string& path);
    static bool IsComputer(const QTreeWidgetItem* node);
    static bool IsDrive(const QTreeWidgetItem* node);
    static platform::DriveKind KindOf(const QTreeWidgetItem* node);
    // 0 the computer, 1 a drive, 2 and more a folder.
    static int Level(const QTreeWidgetItem* node);
    // Collapses the drives, then selects and expands each folder along `path` as far as
    // the tree has it (a folder that vanished counts as its deepest existing parent).
    // Nothing for a path that is empty or not absolute. The node selected, or null.
    QTreeWidgetItem* WalkTo(const std::string& path);
    // A folder node that now stands for `path`: its children are read again when next
    // expanded.
    static void Repoint(QTreeWidgetItem* node, const std::string& path);

    std::string FSelectedPath;
};

// The combo's drop-down.
class TShDirTreeView : public TShFolderTree {
    Q_OBJECT
public:
    explicit TShDirTreeView(TShDirTreeCombo* combo);

    bool FMouseInside = false;
    bool FExpandRoot = true;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    TShDirTreeCombo* FCombo;
};

// ---------------------------------------------------------------- the combo

class TShDirTreeCombo : public QLineEdit {
    Q_OBJECT
public:
    explicit TShDirTreeCombo(QWidget* parent = nullptr);
    ~TShDirTreeCombo() override;

    std::string SelectedPath() const { return Tree->FSelectedPath; }
    void SetSelectedPath(const std::string& path);
    TShFileListLink* FileList() const { return FFileList; }
    void SetFileList(TShFileListLink* list);
    bool ExpandRoot() const { return Tree->FExpandRoot; }
    void SetExpandRoot(bool expand);
    bool HideSelection = true;
    QIcon Glyph() const;
    void SetGlyph(const QIcon& glyph); // a null icon is ignored
    int TreeHeight() const;
    void SetTreeHeight(int height);

    // Expands the tree along `path` and selects its deepest folder found (a folder that
    // vanished is replaced by its deepest existing parent).
    void OpenPath(const std::string& path);
    void ResetTree();
    // The button: shows the tree below the edit, or hides it.
    void DropDown();
    bool DroppedDown() const;
    // A node chosen (click or Enter): the selected path, the edit, the tree hidden.
    void ChooseNode(QTreeWidgetItem* node);
    // The key table (also the keys the open tree receives).
    bool HandleKey(int key);

    QToolButton* Btn = nullptr;
    TShDirTreeView* Tree = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void ShowNode(QTreeWidgetItem* node);
    void PlaceButton();

    TShFileListLink* FFileList = nullptr;
    QMetaObject::Connection FListGone;
    QIcon FImage;
};

// ---------------------------------------------------------------- the file list

class TShDirTree;

enum TShFileType : unsigned {
    ftReadOnly = 0x01,
    ftHidden = 0x02,
    ftSystem = 0x04,
    ftArchive = 0x20,
    ftNormal = 0x80
};
using TShFileTypes = unsigned;

enum TDTFormat {
    df_MMddyyyy,
    df_MMddyy,
    df_ddMMyyyy,
    df_ddMMyy_GB,
    df_ddMMyy_DE,
    df_ddMMyy_IT,
    df_yyyyMMdd,
    df_yyMMdd,
    df_Customize
};
// The Qt date pattern of a format (the locale's short date for df_Customize).
QString DateFormatPattern(TDTFormat format);

// The file list's context menu (the popup menu of the desktop's explorer): "&Open",
// "&View", "Se&nd To", "Cu&t", "&Copy", "&Paste", "&Rename", "&Delete", "&Attributes ...",
// "&New Folder ...", its items named as the list's dispatcher knows them. The list enables
// them for its selection before the menu pops up 10 pixels right and below the click.
class TShFileListViewPopUp : public QMenu {
    Q_OBJECT
public:
    explicit TShFileListViewPopUp(QWidget* parent = nullptr);
    QAction* Item(const QString& name) const { return findChild<QAction*>(name); }
    // The "Se&nd To" submenu, which the list fills.
    QMenu* SendMenu() const { return FSendMenu; }
    void PopUpAt(const QPoint& click) { popup(click + QPoint(10, 10)); }

private:
    QMenu* FSendMenu = nullptr;
};

// The contents of one folder, or the drives ("Drives"), in explorer style: sortable
// columns, keys, an internal cut/copy/paste list that never touches the system
// clipboard, a context menu with Send To, and file operations that never replace a
// target silently. Linked to a folder combo and a folder tree, both ways.
class TShFilelistView : public QTreeWidget, public TShFileListLink {
    Q_OBJECT
public:
    explicit TShFilelistView(QWidget* parent = nullptr);
    ~TShFilelistView() override;

    // "Drives", or the folder shown with a trailing '/'.
    std::string Directory() const { return FDirectory; }
    // "Drives" in any case shows the drives; an existing folder is shown; anything else
    // is ignored. The process's current folder stays as it is.
    void SetDirectory(const std::string& dir) override;
    std::string Mask() const { return FMask; }
    void SetMask(const std::string& mask);
    TShFileTypes FileType() const { return FFileType; }
    void SetFileType(TShFileTypes types);
    bool ShowFolders() const { return FShowFolders; }
    void SetShowFolders(bool show);
    bool HideFileExt = false;
    TDTFormat DateFormat = df_MMddyyyy;
    QString TimeFormatStr = "HH:mm:ss";
    bool DblClickToOpen = true;
    bool PopUpMenuEnabled() const { return FPopUpMenuEnabled; }
    void SetPopUpMenuEnabled(bool enabled);
    TShDirTreeCombo* DirTreeCombo() const;
    void SetDirTreeCombo(TShDirTreeCombo* combo) override;
    TShDirTree* DirTree() const;
    void SetDirTree(TShDirTree* tree);
    // Free KB of the drive of `Directory`; -1 when unreadable.
    int64_t DriveFreeSpace() const;
    // Selected rows, or all rows when none is selected.
    int SelectedNumber() const;
    // Bytes of the selected rows' files, each looked up by name in `Directory`.
    int64_t SelectedSize() const;

    void Refill();
    void RefreshList() override { Refill(); }
    QObject* LinkObject() override { return this; }
    bool IsDriveView() const;

    int SortColumn() const { return FSortColumn; }
    bool SortDescending() const { return FDescending; }
    // A header click: the same column toggles, another sorts descending; nothing in the
    // drive view.
    void ColumnClick(int column);

    // A row's full path (a drive row: its root with '/') and kind: "dir", "file", "drv".
    static std::string RowPath(const QTreeWidgetItem* row);
    static std::string RowKind(const QTreeWidgetItem* row);
    static bool IsParentRow(const QTreeWidgetItem* row);
    QTreeWidgetItem* Row(const std::string& caption) const;

    void OneLevelUp();
    void OpenRow(QTreeWidgetItem* row);
    void OpenSelected();
    void ViewSelected();
    // Asks for a name ("Add New Folder"); true when a folder was made.
    bool NewFolder();
    bool NewFolder(const std::string& name);
    // Starts editing the selected row's caption.
    void RenameSelected();
    // What finishing the edit does: the row renamed to `name` in its folder.
    bool RenameRow(QTreeWidgetItem* row, const std::string& name);
    void DeleteSelected();
    void CutCopy(bool cut);
    void Paste();
    void AttributesSelected();
    // The attribute dialog's OK: read-only set or cleared (the other flags have no
    // meaning here). True when something changed.
    static bool ApplyAttributes(const std::string& path, bool readOnly);

    // The internal clipboard: full paths and -1 none, 0 copy, 2 cut.
    std::vector<std::string> ClipList;
    int ClipOp = -1;

    // The context menu, its items named as the dispatcher knows them, enabled for the
    // current selection by UpdateMenu (which runs before it pops up).
    TShFileListViewPopUp* PopupMenu() const { return FMenu; }
    void UpdateMenu();
    QAction* MenuItem(const QString& name) const;
    // The Send To entries: "Any Folder ...", the two clipboard entries, then one per
    // desktop entry of the SendTo folder.
    void FillSendTo();
    void SendToAnyFolder(const std::string& folder);
    bool SendToEntry(const std::string& desktopFile);
    // The SendTo folder: $XDG_DATA_HOME/parvex/SendTo.
    static std::string SendToFolder();

    std::function<void(TShFilelistView* sender)> OnClick;
    std::function<void(TShFilelistView* sender)> OnDblClick;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void FillFolder();
    void FillDrives();
    void SortRows();
    void AddFileRow(const std::string& folder, const std::string& name, uint32_t attrs, int64_t size,
                    int64_t time, bool parent);
    void MoveLinksTo(const std::string& path);
    void ReloadLinks(const std::string& select);
    void MenuClick(QAction* item);
    std::vector<QTreeWidgetItem*> SelectedRows() const;
    bool FolderEnterable() const;

    std::string FDirectory = "Drives";
    std::string FMask = "*.*";
    TShFileTypes FFileType = ftReadOnly | ftHidden | ftSystem | ftArchive;
    bool FShowFolders = true;
    bool FPopUpMenuEnabled = true;
    int FSortColumn = 0;
    bool FDescending = false;
    QTreeWidgetItem* FEditing = nullptr;
    TShFileListViewPopUp* FMenu = nullptr;
    QMenu* FSendMenu = nullptr;
    QPointer<TShDirTreeCombo> FCombo;
    QPointer<TShDirTree> FTree;
};

// The "Send to any folder" dialog: an editable path with OK, Cancel and Browse (the
// folder chooser, then the dialog again). True with a non-empty folder after OK.
bool AskSendToFolder(QWidget* parent, std::string& folder);

// ---------------------------------------------------------------- the stand-alone tree

// The folder tree's context menu: "&New Folder", "&Rename Folder", "&Delete Folder",
// "&Tree Size" (items "AddNode", "EditNode", "DelNode", "GetTreeSize"), each with its
// picture. The tree enables them for its selected node before the menu pops up 10 pixels
// right and below the click.
class TShDirTreePopUp : public QMenu {
    Q_OBJECT
public:
    explicit TShDirTreePopUp(QWidget* parent = nullptr);
    QAction* Item(const QString& name) const { return findChild<QAction*>(name); }
    // Enables the items for a node of this level (-1 none, 0 the computer, 1 a drive).
    void EnableFor(int level);
    void PopUpAt(const QPoint& click) { popup(click + QPoint(10, 10)); }
};

// A folder tree linked to a file list, with a context menu that makes, renames and
// deletes folders and tells the size of a folder tree.
class TShDirTree : public TShFolderTree {
    Q_OBJECT
public:
    explicit TShDirTree(QWidget* parent = nullptr);
    ~TShDirTree() override;

    TShFilelistView* FileList() const;
    void SetFileList(TShFilelistView* list);
    // "Drives" for the computer node, else the folder's path.
    std::string SelectedPath() const { return FSelectedPath; }
    void SetSelectedPath(const std::string& path);
    bool PopUpMenuEnabled() const { return FPopUpMenuEnabled; }
    void SetPopUpMenuEnabled(bool enabled);

    void Reload();
    // Walks to `path` (as the combo does); SelectedPath becomes it with a trailing '/'.
    void SelectPath(const std::string& path);
    // A node chosen: SelectedPath, the removable-drive check, the list's folder.
    void ChooseNode(QTreeWidgetItem* node);
    // What finishing a label edit does: false (label unchanged) when refused.
    bool RenameNode(QTreeWidgetItem* node, const std::string& name);
    // Makes a folder below `node` ("New Folder" when no name is given, its label then
    // edited without the rename question). True when the folder was made.
    bool NewFolder(QTreeWidgetItem* node, const std::string& name = {});
    bool DeleteFolder(QTreeWidgetItem* node);
    // The size of the folder and all below it, as the information box says it.
    std::string TreeSizeText(QTreeWidgetItem* node);
    void TreeSize(QTreeWidgetItem* node);

    TShDirTreePopUp* PopupMenu() const { return FMenu; }
    void UpdateMenu();
    QAction* MenuItem(const QString& name) const;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    // A label edit the user finished: the only change of a node's text that renames.
    void commitData(QWidget* editor) override;

private:
    TShDirTreePopUp* FMenu = nullptr;
    bool FPopUpMenuEnabled = true;
    bool FSkipRenameQuestion = false;
    bool FCommitting = false;
    QPointer<TShFilelistView> FList;
};
