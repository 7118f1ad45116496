// Explorer widgets and the routines they share: the folder combo whose drop-down is a
// folder tree (`TShDirTreeCombo` with `TShDirTreeView`), and the support routines for
// opening, copying, moving, renaming and deleting files, drives and sizes. The file list
// that a combo drives implements `TShFileListLink`.
#pragma once
#include <QIcon>
#include <QLineEdit>
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

// ---------------------------------------------------------------- the drop-down tree

class TShDirTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TShDirTreeView(TShDirTreeCombo* combo);

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

    std::string FSelectedPath;
    bool FMouseInside = false;
    bool FExpandRoot = true;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
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
