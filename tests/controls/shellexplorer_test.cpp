// The folder combo with its drop-down tree over a small private tree, and the explorer
// support routines: drives, sizes, file operations that never replace silently, the trash.
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "controls/ShellExplorer.h"
#include "explorertest.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"

using namespace ctltest;
namespace fs = std::filesystem;
using platform::ModalResult;

namespace {

struct FakeList : QObject, TShFileListLink {
    std::vector<std::string> dirs;
    int refreshed = 0;
    TShDirTreeCombo* combo = nullptr;
    void SetDirectory(const std::string& d) override { dirs.push_back(d); }
    void RefreshList() override { ++refreshed; }
    void SetDirTreeCombo(TShDirTreeCombo* c) override { combo = c; }
    QObject* LinkObject() override { return this; }
};

QTreeWidgetItem* childNamed(QTreeWidgetItem* node, const std::string& name) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0).toStdString() == name) return node->child(i);
    return nullptr;
}

QTreeWidgetItem* driveOf(TShDirTreeCombo& c, const std::string& root) {
    QTreeWidgetItem* computer = c.Tree->topLevelItem(0);
    for (int i = 0; i < computer->childCount(); ++i)
        if (TShDirTreeView::NodePath(computer->child(i)) == AddSlash(root)) return computer->child(i);
    return nullptr;
}

} // namespace

TEST(ShDirTreeCombo, NodesPathsAndOpenPath) {
    ExplorerTree tree;
    TShDirTreeCombo combo;
    FakeList list;
    combo.SetFileList(&list);
    EXPECT_EQ(list.combo, &combo);
    QTreeWidgetItem* computer = combo.Tree->topLevelItem(0);
    ASSERT_NE(computer, nullptr);
    EXPECT_TRUE(computer->isExpanded()); // ExpandRoot
    EXPECT_EQ(combo.text(), computer->text(0));

    // The floppy's node: " (root)  LABEL ", its root with '/', a folder below without.
    fs::create_directories(tree.floppy + "/sub");
    QTreeWidgetItem* floppy = driveOf(combo, tree.floppy);
    ASSERT_NE(floppy, nullptr);
    EXPECT_EQ(floppy->text(0).toStdString(), " (" + tree.floppy + ")  DISK1 ");
    floppy->setExpanded(true);
    QTreeWidgetItem* sub = childNamed(floppy, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(TShDirTreeView::NodePath(sub), tree.floppy + "/sub");

    // Choosing the computer: "Drives", and the list follows.
    combo.ChooseNode(computer);
    EXPECT_EQ(combo.SelectedPath(), "Drives");
    EXPECT_EQ(list.dirs.back(), "Drives");
    combo.ChooseNode(sub);
    EXPECT_EQ(combo.SelectedPath(), tree.floppy + "/sub");
    EXPECT_EQ(list.dirs.back(), tree.floppy + "/sub");
    EXPECT_EQ(combo.text().toStdString(), "sub");

    // OpenPath expands along the path; a vanished last folder gives its deepest parent.
    combo.OpenPath(tree("a/b/c"));
    EXPECT_EQ(TShDirTreeView::NodePath(combo.Tree->currentItem()), tree("a/b/c"));
    EXPECT_EQ(combo.SelectedPath(), tree("a/b/c/"));
    EXPECT_EQ(combo.text().toStdString(), "c");
    fs::remove_all(tree("a/b/c"));
    combo.OpenPath(tree("a/b/c"));
    EXPECT_EQ(TShDirTreeView::NodePath(combo.Tree->currentItem()), tree("a/b"));
    EXPECT_EQ(combo.text().toStdString(), "b");
    // The text keeps a gap from the folder's picture (drawn from x 5, 16 wide; the edit's
    // own frame and margin add a few pixels more).
    if (!combo.Tree->currentItem()->icon(0).isNull()) {
        EXPECT_GE(combo.textMargins().left(), 5 + 16 + 2);
    }
    const std::string before = TShDirTreeView::NodePath(combo.Tree->currentItem());
    for (const char* ignored : {"", "relative/path"}) {
        combo.OpenPath(ignored);
        EXPECT_EQ(TShDirTreeView::NodePath(combo.Tree->currentItem()), before);
    }

    // Sorted children; a folder of files only has no expander, one with folders has.
    QTreeWidgetItem* top = combo.Tree->currentItem()->parent()->parent();
    ASSERT_EQ(TShDirTreeView::NodePath(top), tree(""));
    std::vector<std::string> names;
    for (int i = 0; i < top->childCount(); ++i) names.push_back(top->child(i)->text(0).toStdString());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(childNamed(top, "files")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    EXPECT_GT(childNamed(top, "a")->childCount(), 0); // opened on the way
    childNamed(top, "files")->setExpanded(true);
    EXPECT_EQ(childNamed(top, "files")->childCount(), 0);

    // The list goes: the link is cleared; ResetTree starts from the computer again.
    {
        FakeList other;
        combo.SetFileList(&other);
        EXPECT_EQ(list.combo, nullptr);
        EXPECT_EQ(other.dirs.back(), combo.SelectedPath());
        EXPECT_EQ(other.refreshed, 1);
    }
    EXPECT_EQ(combo.FileList(), nullptr);
    combo.ResetTree();
    EXPECT_EQ(combo.Tree->currentItem(), nullptr);
    EXPECT_EQ(combo.text(), combo.Tree->topLevelItem(0)->text(0));

    combo.SetTreeHeight(300);
    EXPECT_EQ(combo.TreeHeight(), 300);
    combo.SetGlyph(QIcon());
    EXPECT_EQ(combo.Btn->arrowType(), Qt::DownArrow);
}

TEST(ShDirTreeCombo, KeysAndTheRemovableDriveCheck) {
    ExplorerTree tree;
    Boxes boxes;
    QWidget form;
    auto* combo = new TShDirTreeCombo(&form);
    form.resize(300, 60);
    form.show();
    combo->setFocus();
    QTreeWidgetItem* computer = combo->Tree->topLevelItem(0);

    QTest::keyClick(combo, Qt::Key_F4);
    EXPECT_TRUE(combo->DroppedDown());
    QTest::keyClick(combo->Tree, Qt::Key_Escape);
    EXPECT_FALSE(combo->DroppedDown());

    // Down from nothing selects the computer, then its first drive; Up stops at the computer.
    combo->ResetTree();
    ASSERT_EQ(combo->Tree->currentItem(), nullptr);
    computer = combo->Tree->topLevelItem(0);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->Tree->currentItem(), computer);
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(combo->Tree->currentItem(), computer);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->Tree->currentItem(), computer->child(0));

    // Right expands the selected drive, Down enters it, Left collapses and goes up.
    combo->OpenPath(tree("a"));
    QTreeWidgetItem* a = combo->Tree->currentItem();
    QTest::keyClick(combo, Qt::Key_Right);
    EXPECT_TRUE(a->isExpanded());
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->Tree->currentItem()->text(0).toStdString(), "b");
    QTest::keyClick(combo, Qt::Key_Left);
    EXPECT_EQ(combo->Tree->currentItem(), a);
    QTest::keyClick(combo, Qt::Key_Left);
    EXPECT_FALSE(a->isExpanded());

    // Enter in the open tree chooses its node and closes it.
    QTest::keyClick(combo, Qt::Key_F4);
    ASSERT_TRUE(combo->DroppedDown());
    combo->Tree->setCurrentItem(a);
    QTest::keyClick(combo->Tree, Qt::Key_Return);
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_EQ(combo->SelectedPath(), tree("a"));
    EXPECT_EQ(combo->text().toStdString(), "a");

    // A click on the button opens; a click on a node label chooses it.
    QTest::mouseClick(combo->Btn, Qt::LeftButton);
    ASSERT_TRUE(combo->DroppedDown());
    combo->Tree->scrollToItem(a);
    QTest::mouseClick(combo->Tree->viewport(), Qt::LeftButton, {}, combo->Tree->visualItemRect(a).center());
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_EQ(combo->SelectedPath(), tree("a"));

    // A removable drive without a formatted disk: the message, the previous text stays.
    ASSERT_TRUE(platform::insertMedium(tree.floppy, "blank"));
    combo->ResetTree();
    QTreeWidgetItem* floppy = driveOf(*combo, tree.floppy);
    ASSERT_NE(floppy, nullptr);
    const QString shownBefore = combo->text();
    combo->ChooseNode(floppy);
    EXPECT_EQ(boxes.last(), "ERROR - There is no disk in Drive " + tree.floppy + "\r" +
                                "                or Drive " + tree.floppy + " is not ready");
    EXPECT_EQ(combo->text(), shownBefore);
}

TEST(ShellSupport, RoutinesTable) {
    ExplorerTree tree;
    Boxes boxes;
    EXPECT_EQ(AddSlash("/a"), "/a/");
    EXPECT_EQ(AddSlash("/a/"), "/a/");
    EXPECT_EQ(DelSlash("/a/"), "/a");
    EXPECT_EQ(DelSlash("/"), "/");
    EXPECT_TRUE(ContainsAnyChar("a*b", "?*"));
    EXPECT_FALSE(ContainsAnyChar("ab", "?*"));
    struct Size {
        int64_t size;
        const char* type;
        const char* text;
    } sizes[] = {{0, "", "0"},
                 {1, "", "1"},
                 {1023, "", "1"},
                 {1024, "", "1"},
                 {2047, "", "1"},
                 {5000, "DIR", "0"},
                 {int64_t(5) << 40, "", "5368709120"}};
    for (auto& s : sizes) EXPECT_EQ(SizeInKB(s.size, s.type), s.text) << s.size;

    // Drives: the emulated floppy is 1457664 bytes; a path that is no drive's root is refused.
    EXPECT_EQ(DiskSizeKB(tree.floppy), 1424); // 1423.5 rounds to even
    EXPECT_EQ(DiskFreeKB(tree.floppy), 1424);
    EXPECT_TRUE(CheckDriveReady(tree.floppy, true));
    EXPECT_TRUE(boxes.shown.empty());
    for (std::string bad : {std::string(), tree("a")}) {
        EXPECT_FALSE(CheckDriveReady(bad, true));
        EXPECT_EQ(boxes.last(), "Not a valid Drive ID");
    }
    boxes.shown.clear();
    ASSERT_TRUE(platform::insertMedium(tree.floppy, "blank"));
    EXPECT_FALSE(CheckDriveReady(tree.floppy, false));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(DiskSizeKB(tree.floppy), -1);

    EXPECT_FALSE(NameExists(tree("nothing"), "nothing"));
    EXPECT_TRUE(NameExists(tree("a"), "a"));
    EXPECT_EQ(boxes.last(), "ERROR - \"a\" already exists !");

    // Opening goes through the application's launcher; a failure says so.
    std::vector<std::string> launched;
    ShellLaunchHook() = [&](const std::string& op, const std::string& file, const std::string&,
                            const std::string&) {
        launched.push_back(op + " " + file);
        return file != "/missing";
    };
    EXPECT_TRUE(ShellOpenFile("open", tree("files/x.txt")));
    EXPECT_FALSE(ShellOpenFile("print", "/missing"));
    EXPECT_EQ(boxes.last(), "ERROR - Can't print file  /missing");
    EXPECT_EQ(launched, (std::vector<std::string>{"open " + tree("files/x.txt"), "print /missing"}));
    ShellLaunchHook() = nullptr;
    EXPECT_FALSE(FileTimeToText(0).empty());
}

TEST(ShellSupport, FileOperationsNeverReplaceSilently) {
    ExplorerTree tree;
    Boxes boxes;
    const std::string dst = tree("dst");
    fs::create_directories(dst);
    pvtest::writeFile(dst + "/x.txt", "old");

    // Copy into a folder: No keeps the target and answers false; Yes replaces.
    boxes.answers = {ModalResult::No};
    EXPECT_FALSE(ShellFileOperation(TShellOp::Copy, {tree("files/x.txt"), tree("files/y.txt")}, dst));
    EXPECT_EQ(pvtest::readFile(dst + "/x.txt"), "old");
    EXPECT_EQ(pvtest::readFile(dst + "/y.txt"), "y");
    boxes.answers = {ModalResult::Yes};
    EXPECT_TRUE(ShellFileOperation(TShellOp::Copy, {tree("files/x.txt")}, dst));
    EXPECT_EQ(pvtest::readFile(dst + "/x.txt"), "x");
    EXPECT_EQ(pvtest::readFile(tree("files/x.txt")), "x");

    // Rename onto an existing name asks; Cancel leaves both.
    pvtest::writeFile(dst + "/r1", "one");
    pvtest::writeFile(dst + "/r2", "two");
    boxes.answers = {ModalResult::Cancel};
    EXPECT_FALSE(ShellFileOperation(TShellOp::Rename, {dst + "/r1"}, dst + "/r2"));
    EXPECT_EQ(pvtest::readFile(dst + "/r1"), "one");
    EXPECT_EQ(pvtest::readFile(dst + "/r2"), "two");
    EXPECT_TRUE(ShellFileOperation(TShellOp::Rename, {dst + "/r1"}, dst + "/r3"));
    EXPECT_EQ(pvtest::readFile(dst + "/r3"), "one");

    // Move a folder over an existing one (Yes): the new content, nothing of the old.
    fs::create_directories(dst + "/a/old-only");
    boxes.answers = {ModalResult::Yes};
    EXPECT_TRUE(ShellFileOperation(TShellOp::Move, {tree("a")}, dst));
    EXPECT_FALSE(fs::exists(tree("a")));
    EXPECT_TRUE(fs::is_directory(dst + "/a/b/c"));
    EXPECT_FALSE(fs::exists(dst + "/a/old-only"));
    // A folder never goes into itself.
    EXPECT_FALSE(ShellFileOperation(TShellOp::Copy, {dst}, dst + "/a"));

    // Across file systems (when a second one can be written): copied whole, then removed.
    const std::string shm = "/dev/shm";
    struct stat a {
    }, b{};
    if (::stat(shm.c_str(), &a) == 0 && ::stat(tree.root.c_str(), &b) == 0 && a.st_dev != b.st_dev &&
        ::access(shm.c_str(), W_OK) == 0) {
        const std::string away = shm + "/pv-move-" + std::to_string(::getpid());
        fs::create_directories(away);
        EXPECT_TRUE(ShellFileOperation(TShellOp::Move, {dst + "/a"}, away));
        EXPECT_TRUE(fs::is_directory(away + "/a/b/c"));
        EXPECT_FALSE(fs::exists(dst + "/a"));
        fs::remove_all(away);
    }

    // Delete: our question first; No keeps the file, Yes moves it to the trash.
    boxes.answers = {ModalResult::No};
    EXPECT_FALSE(ShellFileOperation(TShellOp::Delete, {dst + "/r3"}));
    EXPECT_EQ(boxes.last(), "Do you really want to move \"r3\" to the trash?");
    EXPECT_TRUE(fs::exists(dst + "/r3"));
    boxes.answers = {ModalResult::Yes};
    EXPECT_TRUE(ShellFileOperation(TShellOp::Delete, {dst + "/r3"}));
    EXPECT_FALSE(fs::exists(dst + "/r3"));
    bool inTrash = false;
    for (auto& e : fs::recursive_directory_iterator(tree.data + "/Trash/files"))
        if (e.path().filename() == "r3") inTrash = true;
    EXPECT_TRUE(inTrash);
}
