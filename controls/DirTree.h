// A tree of the machine's drives and folders, read lazily with our own synchronous
// folder reader: a node's children are read when it is first expanded, and each child is
// probed for subfolders so that only folders with something below them show an
// expander. Node paths keep their bytes (a name that is not UTF-8 still opens) and end
// with '/'; paths compare exactly.
#pragma once
#include <QTreeWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "controls/Drives.h"

class QTimer;

enum TDirType : unsigned {
    dtReadOnly = 1u << 0,
    dtHidden = 1u << 1,
    dtSystem = 1u << 2,
    dtArchive = 1u << 3,
    dtNormal = 1u << 4,
    dtAll = 1u << 5,
};
using TDirTypes = unsigned;

enum TDriveType : unsigned {
    drtUnknown = 1u << 0,
    drtRemovable = 1u << 1,
    drtFixed = 1u << 2,
    drtRemote = 1u << 3,
    drtCDRom = 1u << 4,
    drtRamDisk = 1u << 5,
};
using TDriveTypes = unsigned;
constexpr TDriveTypes kAllDriveTypes =
    drtUnknown | drtRemovable | drtFixed | drtRemote | drtCDRom | drtRamDisk;

// Modifier keys held during a drop.
enum TShiftKey : unsigned { ssShift = 1u << 0, ssAlt = 1u << 1, ssCtrl = 1u << 2 };
using TShiftState = unsigned;

// One entry found by an OnFindDir handler: its attributes (platform::FileAttr bits, a
// folder has faDirectory) and its name. `Handle` is the handler's own, kept between calls.
struct TDirRec {
    uint32_t Attr = 0;
    std::string Name;
    intptr_t Handle = 0;
};

class TDirTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TDirTree(QWidget* parent = nullptr);
    ~TDirTree() override;

    // Builds the tree the first time the window shows.
    bool ReadOnStart = true;
    TDirTypes DirTypes() const { return FDirTypes; }
    void SetDirTypes(TDirTypes types);
    bool GoBelowRecycleBin() const { return FGoBelowRecycleBin; }
    void SetGoBelowRecycleBin(bool go);
    // Drives of every type are probed for subfolders as their nodes are built unless set.
    bool FastLoad = false;
    std::string InitialDirectory() const { return FInitialDirectory; }
    // Shown when the window first shows (or shows again after being set) unless OpenPath
    // chose a folder since.
    void SetInitialDirectory(const std::string& dir);
    TDriveTypes DriveTypes() const { return FDriveTypes; }
    void SetDriveTypes(TDriveTypes types);
    bool ShowShareOverlay() const { return FShowShareOverlay; }
    void SetShowShareOverlay(bool show);
    bool AcceptDropFiles() const { return FAcceptDropFiles; }
    void SetAcceptDropFiles(bool accept);

    std::function<void(TDirTree* sender, const std::string& fileName, bool& doAdd)> OnAddDir;
    // Replaces the folder reader: called with first = true, then false, until result is
    // non-zero; each call with result 0 hands over one entry.
    std::function<void(TDirTree* sender, const std::string& path, TDirRec& rec, int& result, bool first)>
        OnFindDir;
    std::function<void(TDirTree* sender, QTreeWidgetItem* node)> OnGetIcon;
    // Raised as a node goes (its data is gone by then).
    std::function<void(TDirTree* sender, QTreeWidgetItem* node)> OnDeleteItem;
    std::function<void(TDirTree* sender, int x, int y, const std::string& dropDir,
                       const std::vector<std::string>& dropFiles, TShiftState shift)>
        OnDropFiles;

    // Shows a folder: a missing path shows the root of the current folder's drive. Throws
    // std::invalid_argument("Invalid Path Name") for "", does nothing for "?".
    void OpenPath(const std::string& path);
    // The selected folder (no trailing '/' except for "/"); "?" when nothing is selected.
    std::string GetSelectedPath() const;
    // The root of the selected folder's drive; "" when nothing is selected.
    std::string GetSelectedDrive() const;
    // Rebuilds and selects again what was selected.
    void Reload();

    // A node's folder with a trailing '/'; "" for none.
    static std::string NodePath(const QTreeWidgetItem* node);
    static std::string DriveRootOfNode(const QTreeWidgetItem* node);
    // Reads a node's children now if they were not read yet.
    void ReadChildren(QTreeWidgetItem* node);
    bool ChildrenRead(const QTreeWidgetItem* node) const;
    const std::vector<TDriveInfo>& Drives() const { return FDrives; }

    // The folder rule and the attribute rule, each candidate path with a trailing '/'.
    bool FolderAllowed(const std::string& path);
    bool AttributesAllowed(const std::string& name, uint32_t attrs) const;

public slots:
    // Compares the drives with those the tree shows (a timer calls it; tests may too).
    void CheckDevices();

protected:
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void Build();
    void EnsureBuilt();
    QTreeWidgetItem* AddDriveNode(const TDriveInfo& drive, int index = -1);
    std::vector<std::string> FindSubfolders(const std::string& path, bool stopAtFirst);
    void Probe(QTreeWidgetItem* node);
    void SelectionChanged();
    void CheckSerial(QTreeWidgetItem* driveNode);
    void ReReadDrive(QTreeWidgetItem* driveNode);
    QTreeWidgetItem* DriveNode(const std::string& root) const;
    QTreeWidgetItem* FindChild(QTreeWidgetItem* parent, const std::string& path);
    void ClearNodes();
    void NodeDeleted(QTreeWidgetItem* node);

    friend class TDirNode;

    TDirTypes FDirTypes = dtNormal | dtAll;
    bool FGoBelowRecycleBin = false;
    std::string FInitialDirectory;
    bool FInitialPending = true;
    TDriveTypes FDriveTypes = kAllDriveTypes;
    bool FShowShareOverlay = false;
    bool FAcceptDropFiles = false;
    bool FBuilt = false;
    int FUpdating = 0;
    std::vector<TDriveInfo> FDrives;
    std::map<std::string, std::string> FLastVisited; // per drive root
    std::map<std::string, int64_t> FSerials;         // per drive root, -1 when unreadable
    QTimer* FDeviceTimer = nullptr;
    QTreeWidgetItem* FDropTarget = nullptr;
};
