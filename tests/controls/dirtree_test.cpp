// The folder tree over a small private tree: opening paths, the attribute and folder
// rules, lazy reading with probing, the emulated floppy whose disk is swapped, device
// changes, hostile folder names and drops.
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "controls/DirTree.h"
#include "explorertest.h"
#include "platform/fileio.h"
#include "platform/volumes.h"

using namespace ctltest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> childNames(TDirTree& t, QTreeWidgetItem* node) {
    t.ReadChildren(node);
    std::vector<std::string> out;
    for (int i = 0; i < node->childCount(); ++i) out.push_back(node->child(i)->text(0).toStdString());
    return out;
}

// The node of an open folder, found by opening it.
QTreeWidgetItem* nodeOf(TDirTree& t, const std::string& path) {
    t.OpenPath(path);
    return t.GetSelectedPath() == path ? t.currentItem() : nullptr;
}

QTreeWidgetItem* driveNode(TDirTree& t, const std::string& root) {
    for (int i = 0; i < t.topLevelItemCount(); ++i)
        if (TDirTree::NodePath(t.topLevelItem(i)) == root + "/") return t.topLevelItem(i);
    return nullptr;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

} // namespace

TEST(DirTree, OpenPathAndTheRules) {
    ExplorerTree tree;
    struct Case {
        const char* what;
        TDirTypes types;
        bool belowTrash;
        std::string open, selected;
        std::string folder; // whose children are checked
        std::vector<std::string> present, absent;
    } cases[] = {
        {"existing folder", dtNormal | dtAll, false, tree("a/b"), tree("a/b"), tree("a"), {"b", "b2"}, {}},
        {"missing folder opens the current drive's root",
         dtNormal | dtAll,
         false,
         tree("zz/y"),
         "",
         "",
         {},
         {}},
        {"hidden absent with normal only",
         dtNormal,
         false,
         tree("a"),
         tree("a"),
         tree(""),
         {"a", "empty", "files"},
         {".hidden"}},
        {"hidden present with hidden",
         dtNormal | dtHidden,
         false,
         tree(".hidden"),
         tree(".hidden"),
         tree(""),
         {".hidden", "a"},
         {}},
        {"the trash shows, nothing below it",
         dtAll,
         false,
         tree.data + "/Trash",
         tree.data + "/Trash",
         tree.data + "/Trash",
         {},
         {"files", "info"}},
        {"below the trash when asked",
         dtAll,
         true,
         tree.data + "/Trash/files/gone",
         tree.data + "/Trash/files/gone",
         tree.data + "/Trash",
         {"files", "info"},
         {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDirTree t;
        EXPECT_EQ(t.GetSelectedPath(), "?");
        t.SetDirTypes(c.types);
        t.SetGoBelowRecycleBin(c.belowTrash);
        t.OpenPath(c.open);
        const std::string drive = DriveRootOf(t.Drives(), tree.root);
        ASSERT_FALSE(drive.empty());
        EXPECT_EQ(t.GetSelectedPath(), c.selected.empty() ? drive : c.selected);
        EXPECT_EQ(t.GetSelectedDrive(), drive);
        if (c.folder.empty()) continue;
        QTreeWidgetItem* node = nodeOf(t, c.folder);
        ASSERT_NE(node, nullptr);
        const auto names = childNames(t, node);
        for (auto& n : c.present) EXPECT_TRUE(has(names, n)) << n;
        for (auto& n : c.absent) EXPECT_FALSE(has(names, n)) << n;
    }
    // Below the trash cannot be opened while the rule holds: the selection stays.
    TDirTree t;
    t.SetDirTypes(dtAll);
    t.OpenPath(tree("a"));
    t.OpenPath(tree.data + "/Trash/files/gone");
    EXPECT_EQ(t.GetSelectedPath(), tree("a"));
    EXPECT_THROW(t.OpenPath(""), std::invalid_argument);
    t.OpenPath("?");
    EXPECT_EQ(t.GetSelectedPath(), tree("a"));
    // Relative paths, doubled and trailing separators name the same folder; case counts.
    t.OpenPath("a//b/");
    EXPECT_EQ(t.GetSelectedPath(), tree("a/b"));
    t.OpenPath(tree("A/B"));
    EXPECT_EQ(t.GetSelectedPath(), DriveRootOf(t.Drives(), tree.root));
}

TEST(DirTree, ProbingEventsAndReload) {
    ExplorerTree tree;
    TDirTree t;
    std::vector<std::string> asked;
    t.OnAddDir = [&](TDirTree* sender, const std::string& path, bool& doAdd) {
        EXPECT_EQ(sender, &t);
        asked.push_back(path);
        if (path == tree("a/b/")) doAdd = false;
    };
    int deleted = 0;
    t.OnDeleteItem = [&](TDirTree*, QTreeWidgetItem*) { ++deleted; };
    QTreeWidgetItem* a = nodeOf(t, tree("a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(childNames(t, a), std::vector<std::string>{"b2"});
    EXPECT_TRUE(has(asked, tree("a/b/")));
    // A refused folder cannot be opened; the selection stays where it was.
    t.OpenPath(tree("a/b/c"));
    EXPECT_EQ(t.GetSelectedPath(), tree("a"));

    // Probing: only folders with subfolders have a child before they are read.
    QTreeWidgetItem* top = nodeOf(t, tree(""));
    ASSERT_NE(top, nullptr);
    t.ReadChildren(top);
    for (int i = 0; i < top->childCount(); ++i) {
        QTreeWidgetItem* c = top->child(i);
        const std::string name = c->text(0).toStdString();
        if (name != "a") { // "a" was opened above
            EXPECT_FALSE(t.ChildrenRead(c)) << name;
        }
        EXPECT_EQ(c->childCount() > 0, name == "a" || name == ".hidden") << name; // "files" holds files only
    }

    // Reload keeps the selection; every node that went was announced.
    const int before = deleted;
    t.Reload();
    EXPECT_EQ(t.GetSelectedPath(), tree(""));
    EXPECT_GT(deleted, before);

    // A reader of our own replaces the file system's.
    TDirTree r;
    r.SetDirTypes(dtNormal); // the hidden name of the handler's is left out
    // Elsewhere it hands over what the file system has; in "a" three names of its own.
    std::vector<platform::DirEntry> found;
    size_t next = 0;
    r.OnFindDir = [&](TDirTree*, const std::string& path, TDirRec& rec, int& result, bool first) {
        if (first) {
            next = 0;
            found.clear();
            if (path == tree("a/"))
                for (const char* n : {"zeta", "alpha", ".dot"}) found.push_back({n, platform::faDirectory});
            else if (auto list = platform::listDir(path))
                found = *list;
        }
        if (next >= found.size()) return void(result = 1);
        rec.Name = found[next].name;
        rec.Attr = found[next++].attrs;
        result = 0;
    };
    QTreeWidgetItem* ra = nodeOf(r, tree("a"));
    ASSERT_NE(ra, nullptr);
    EXPECT_EQ(childNames(r, ra), (std::vector<std::string>{"alpha", "zeta"}));
}

TEST(DirTree, HostileFolders) {
    ExplorerTree tree;
    const std::string bad = tree("bad\xff\xfe");
    fs::create_directories(bad + "/inner");
    fs::create_symlink(tree("nowhere"), tree("dangling"));
    fs::create_symlink(tree("a"), tree("link"));
    fs::create_directories(tree("locked/inside"));
    fs::permissions(tree("locked"), fs::perms::none);
    TDirTree t;
    QTreeWidgetItem* top = nodeOf(t, tree(""));
    ASSERT_NE(top, nullptr);
    const auto names = childNames(t, top);
    EXPECT_FALSE(has(names, "dangling"));
    EXPECT_TRUE(has(names, "link"));
    // The name that is not UTF-8 keeps its bytes: its node opens and its children read.
    QTreeWidgetItem* b = nodeOf(t, bad);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(TDirTree::NodePath(b), bad + "/");
    EXPECT_EQ(childNames(t, b), std::vector<std::string>{"inner"});
    // A folder that cannot be read has no children (root reads everything).
    QTreeWidgetItem* l = nodeOf(t, tree("locked"));
    ASSERT_NE(l, nullptr);
    if (geteuid() != 0) {
        EXPECT_TRUE(childNames(t, l).empty());
    }
    // A folder that vanished after it was listed reads as empty.
    QTreeWidgetItem* e = nodeOf(t, tree("a/b2"));
    ASSERT_NE(e, nullptr);
    fs::remove_all(tree("a/b2"));
    EXPECT_TRUE(childNames(t, e).empty());
    fs::permissions(tree("locked"), fs::perms::owner_all);
}

TEST(DirTree, SwappedFloppyIsReadAgainOnClick) {
    ExplorerTree tree;
    fs::create_directories(tree.floppy + "/first");
    TDirTree t;
    t.resize(400, 600);
    t.show();
    QTreeWidgetItem* drive = driveNode(t, tree.floppy);
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->text(0).toStdString(), "DISK1 (" + tree.floppy + ")");
    t.OpenPath(tree.floppy + "/first");
    EXPECT_EQ(t.GetSelectedPath(), tree.floppy + "/first");
    EXPECT_EQ(childNames(t, drive), std::vector<std::string>{"first"});

    ASSERT_TRUE(platform::insertMedium(tree.floppy, "2", true, "DISK2"));
    fs::create_directories(tree.floppy + "/second");
    t.scrollToItem(drive);
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.visualItemRect(drive).center());
    EXPECT_EQ(childNames(t, drive), std::vector<std::string>{"second"});
    EXPECT_EQ(drive->text(0).toStdString(), "DISK2 (" + tree.floppy + ")");
    EXPECT_EQ(t.GetSelectedPath(), tree.floppy);

    // An empty drive reads as unlabelled; the timer's check notices the change too.
    ASSERT_TRUE(platform::ejectMedium(tree.floppy));
    t.CheckDevices();
    EXPECT_EQ(drive->text(0).toStdString(), "(" + tree.floppy + ")");
    EXPECT_TRUE(childNames(t, drive).empty());

    // Drives that come and go.
    const std::string second = (tree.dir / "zip").string();
    fs::create_directories(second);
    setenv("PARVEX_MEDIA", (tree.floppy + ";" + second).c_str(), 1);
    t.CheckDevices();
    EXPECT_NE(driveNode(t, second), nullptr);
    setenv("PARVEX_MEDIA", tree.floppy.c_str(), 1);
    t.CheckDevices();
    EXPECT_EQ(driveNode(t, second), nullptr);
    EXPECT_NE(driveNode(t, tree.floppy), nullptr);

    // Without removable drives the floppy goes.
    t.SetDriveTypes(kAllDriveTypes & ~drtRemovable);
    EXPECT_EQ(driveNode(t, tree.floppy), nullptr);
}

TEST(DirTree, DroppedFilesNameTheFolderUnderThePoint) {
    ExplorerTree tree;
    TDirTree t;
    t.resize(400, 600);
    t.show();
    t.SetAcceptDropFiles(true);
    QTreeWidgetItem* a = nodeOf(t, tree("a"));
    ASSERT_NE(a, nullptr);
    std::string dir;
    std::vector<std::string> files;
    TShiftState shift = 0;
    t.OnDropFiles = [&](TDirTree*, int, int, const std::string& d, const std::vector<std::string>& f,
                        TShiftState s) {
        dir = d;
        files = f;
        shift = s;
    };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree("files/x.txt")))});
    const QPointF at = t.visualItemRect(a).center();
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(t.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(t.viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(t.viewport(), &drop);
    EXPECT_EQ(dir, tree("a"));
    EXPECT_EQ(files, std::vector<std::string>{tree("files/x.txt")});
    EXPECT_EQ(shift, TShiftState(ssCtrl));
}
