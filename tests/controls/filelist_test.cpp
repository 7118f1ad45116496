// The file list and the stand-alone folder tree over a small private tree: refills,
// sorting, the keys and the internal clipboard, the links to a combo and a tree, the
// context menus' enabling rules, Send To, and the tree's folder operations.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "controls/ShellExplorer.h"
#include "explorertest.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using namespace ctltest;
namespace fs = std::filesystem;
using platform::ModalResult;

namespace {

std::vector<std::string> captions(const TShFilelistView& l) {
    std::vector<std::string> out;
    for (int i = 0; i < l.topLevelItemCount(); ++i) out.push_back(l.topLevelItem(i)->text(0).toStdString());
    return out;
}

void select(TShFilelistView& l, const std::vector<std::string>& names) {
    l.clearSelection();
    for (auto& n : names) {
        QTreeWidgetItem* row = l.Row(n);
        ASSERT_NE(row, nullptr) << n;
        row->setSelected(true);
        l.setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    }
}

} // namespace

TEST(ShFilelistView, RefillTable) {
    ExplorerTree tree;
    const std::string d = tree("list");
    fs::create_directories(d + "/sub1");
    fs::create_directories(d + "/Sub2");
    pvtest::writeFile(d + "/five.txt", std::string(500, 'x'));
    pvtest::writeFile(d + "/empty.txt", "");
    pvtest::writeFile(d + "/b.dat", "bb");
    pvtest::writeFile(d + "/c.log", "c");
    { std::ofstream big(d + "/big.dat"); }
    fs::resize_file(d + "/big.dat", uintmax_t(5) << 30); // sparse

    TShFilelistView l;
    EXPECT_EQ(l.Directory(), "Drives");
    l.SetDirectory(d);
    EXPECT_EQ(l.Directory(), d + "/");
    l.SetDirectory(tree("missing"));
    EXPECT_EQ(l.Directory(), d + "/");
    EXPECT_EQ(captions(l), (std::vector<std::string>{" Parent", "sub1", "Sub2", "b.dat", "big.dat", "c.log",
                                                     "empty.txt", "five.txt"}));
    auto size = [&](const char* name) { return l.Row(name)->text(1).toStdString(); };
    EXPECT_EQ(size("five.txt"), "1");
    EXPECT_EQ(size("empty.txt"), "0");
    EXPECT_EQ(size("big.dat"), "5242880");
    EXPECT_EQ(size("sub1"), "0");
    EXPECT_EQ(l.SelectedNumber(), 8);
    select(l, {"five.txt", "b.dat", "sub1"});
    EXPECT_EQ(l.SelectedSize(), 502);

    struct Case {
        const char* mask;
        bool folders, hideExt;
        std::vector<std::string> rows;
    } cases[] = {
        {"*.txt;*.dat",
         true,
         false,
         {" Parent", "sub1", "Sub2", "b.dat", "big.dat", "empty.txt", "five.txt"}},
        {"*.txt; *.t?t", false, false, {"empty.txt", "five.txt"}}, // matched by both: listed once
        {"*.log", false, true, {"c"}},
        {"nothing", true, false, {" Parent", "sub1", "Sub2"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.mask);
        l.HideFileExt = c.hideExt;
        l.SetShowFolders(c.folders);
        l.SetMask(c.mask);
        l.Refill();
        EXPECT_EQ(captions(l), c.rows);
    }
    l.HideFileExt = false;
    l.SetShowFolders(true);
    l.SetMask("*.*");

    // Column clicks: another column sorts descending (folders last), the same one toggles.
    l.ColumnClick(1);
    EXPECT_TRUE(l.SortDescending());
    EXPECT_EQ(captions(l).front(), "big.dat");
    EXPECT_EQ(TShFilelistView::RowKind(l.topLevelItem(l.topLevelItemCount() - 1)), "dir");
    l.ColumnClick(1);
    EXPECT_FALSE(l.SortDescending());
    EXPECT_EQ(captions(l)[3], "empty.txt"); // after the three folders, by size as a number
    EXPECT_EQ(captions(l).back(), "big.dat");
    l.Refill(); // by name, descending since the name was not the sort column
    EXPECT_TRUE(l.SortDescending());
    EXPECT_EQ(captions(l).front(), "five.txt");
    l.Refill(); // the name was the sort column: ascending
    EXPECT_FALSE(l.SortDescending());
    EXPECT_EQ(captions(l).front(), " Parent");
    l.ColumnClick(0);
    EXPECT_TRUE(l.SortDescending());

    // The drive view ignores column clicks.
    l.SetDirectory("drives");
    EXPECT_TRUE(l.IsDriveView());
    EXPECT_NE(l.Row(" (" + tree.floppy + ")  DISK1 "), nullptr);
    const auto before = captions(l);
    l.ColumnClick(1);
    EXPECT_EQ(l.SortColumn(), 0);
    EXPECT_EQ(captions(l), before);
    EXPECT_EQ(l.Row(" (" + tree.floppy + ")  DISK1 ")->text(1).toStdString(), "Removable Disk");
}

TEST(ShFilelistView, KeysClipboardDeleteAndLinks) {
    ExplorerTree tree;
    Boxes boxes;
    const std::string from = tree("from"), to = tree("to");
    fs::create_directories(from + "/folder");
    fs::create_directories(to);
    const std::string data = pvtest::sampleText(70000, 3);
    pvtest::writeFile(from + "/one.txt", data);
    pvtest::writeFile(from + "/two.bin", "two");

    QWidget form;
    auto* l = new TShFilelistView(&form);
    form.resize(600, 400);
    form.show();
    l->setFocus();
    l->SetDirectory(from);

    // Only folders selected: nothing to paste.
    select(*l, {"folder"});
    QTest::keyClick(l, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(l->ClipList.empty());
    EXPECT_NE(boxes.last().find("Folders can't be cut or copied"), std::string::npos);
    QTest::keyClick(l, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(boxes.last(), "No file(s) selected");

    // Copy and paste elsewhere, byte for byte; pasted onto itself it is refused.
    select(*l, {"one.txt"});
    QTest::keyClick(l, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(l, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(boxes.last(), "ERROR - \"one.txt\" already exists !");
    select(*l, {"one.txt", "two.bin"});
    QTest::keyClick(l, Qt::Key_C, Qt::ControlModifier);
    l->SetDirectory(to);
    QTest::keyClick(l, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pvtest::readFile(to + "/one.txt"), data);
    EXPECT_EQ(pvtest::readFile(from + "/one.txt"), data);
    EXPECT_TRUE(l->ClipList.empty());
    // Cut: an existing target is asked about (No keeps it, and the source stays).
    l->SetDirectory(from);
    select(*l, {"two.bin"});
    QTest::keyClick(l, Qt::Key_X, Qt::ControlModifier);
    pvtest::writeFile(to + "/two.bin", "kept");
    l->SetDirectory(to);
    boxes.answers = {ModalResult::No};
    QTest::keyClick(l, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pvtest::readFile(to + "/two.bin"), "kept");
    EXPECT_TRUE(fs::exists(from + "/two.bin"));
    fs::remove(to + "/two.bin");
    l->SetDirectory(from);
    select(*l, {"two.bin"});
    QTest::keyClick(l, Qt::Key_X, Qt::ControlModifier);
    l->SetDirectory(to);
    QTest::keyClick(l, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pvtest::readFile(to + "/two.bin"), "two");
    EXPECT_FALSE(fs::exists(from + "/two.bin"));

    // Delete: our question, then the trash with its record.
    select(*l, {"one.txt"});
    boxes.answers = {ModalResult::Yes};
    QTest::keyClick(l, Qt::Key_Delete);
    EXPECT_FALSE(fs::exists(to + "/one.txt"));
    EXPECT_EQ(pvtest::readFile(tree.data + "/Trash/files/one.txt"), data);
    EXPECT_TRUE(fs::exists(tree.data + "/Trash/info/one.txt.trashinfo"));

    // New folder through the input box; a refused name makes nothing.
    boxes.texts = {"made"};
    QTest::keyClick(l, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(fs::is_directory(to + "/made"));
    for (const char* bad : {"", "a/b", ".", ".."}) {
        EXPECT_FALSE(l->NewFolder(bad)) << bad;
        EXPECT_EQ(boxes.last(), "ERROR - Folder Name contains invalid characters");
    }
    EXPECT_FALSE(l->NewFolder("made"));
    EXPECT_EQ(boxes.last(), to + "/made already exists");
    // Rename: a case-only change is a real one; an existing name is refused.
    EXPECT_TRUE(l->RenameRow(l->Row("made"), "Made"));
    EXPECT_TRUE(fs::is_directory(to + "/Made"));
    EXPECT_FALSE(l->RenameRow(l->Row("Made"), "two.bin"));
    EXPECT_EQ(boxes.last(), "ERROR - \"two.bin\" already exists !");
    EXPECT_FALSE(l->RenameRow(l->Row("Made"), "../out"));
    EXPECT_FALSE(fs::exists(tree("out")));

    // Linked both ways; Backspace from a drive's root shows the drives and moves both.
    TShDirTreeCombo combo(&form);
    TShDirTree dirTree(&form);
    l->SetDirTreeCombo(&combo);
    dirTree.SetFileList(l);
    EXPECT_EQ(combo.FileList(), l);
    EXPECT_EQ(l->DirTree(), &dirTree);
    fs::create_directories(tree.floppy + "/in");
    l->SetDirectory(tree.floppy + "/in");
    QTest::keyClick(l, Qt::Key_Backspace);
    EXPECT_EQ(l->Directory(), tree.floppy + "/");
    EXPECT_EQ(combo.SelectedPath(), tree.floppy + "/");
    QTest::keyClick(l, Qt::Key_Backspace);
    EXPECT_EQ(l->Directory(), "Drives");
    EXPECT_EQ(combo.SelectedPath(), "Drives");
    EXPECT_EQ(dirTree.SelectedPath(), "Drives");
    // Enter on a drive row opens it and the others follow.
    select(*l, {" (" + tree.floppy + ")  DISK1 "});
    QTest::keyClick(l, Qt::Key_Return);
    EXPECT_EQ(l->Directory(), tree.floppy + "/");
    EXPECT_EQ(TShFolderTree::NodePath(dirTree.currentItem()), tree.floppy + "/");
}

TEST(ShFilelistView, MenuRulesAndSendTo) {
    ExplorerTree tree;
    Boxes boxes;
    const std::string d = tree("m");
    pvtest::writeFile(d + "/a.txt", "a");
    pvtest::writeFile(d + "/b.bin", "b");
    const std::string sendTo = tree.data + "/parvex/SendTo";
    const std::string target = tree("target");
    fs::create_directories(target);
    pvtest::writeFile(sendTo + "/1-folder.desktop",
                      "[Desktop Entry]\nType=Link\nName=Target folder\nURL=file://" + target + "\n");
    pvtest::writeFile(sendTo + "/2-tool.desktop",
                      "[Desktop Entry]\nType=Application\nName=Tool\nExec=\"/opt/my tool\" --in %F --x\n");
    pvtest::writeFile(sendTo + "/3-broken.desktop",
                      "[Desktop Entry]\nType=Application\nName=Bad\nExec=run \"open\n");
    TShFilelistView l;
    l.SetDirectory(d);

    struct Case {
        std::vector<std::string> rows;
        std::vector<std::string> enabled;
    } cases[] = {
        {{}, {"ItemFolder"}},
        {{"a.txt"},
         {"ItemOpen", "ItemView", "SubMenuSend", "ItemOpCut", "ItemOpCopy", "ItemRename", "ItemDelete",
          "ItemFileAttr", "ItemFolder"}},
        {{"a.txt", "b.bin"},
         {"ItemOpen", "ItemView", "SubMenuSend", "ItemOpCut", "ItemOpCopy", "ItemDelete", "ItemFileAttr",
          "ItemFolder"}},
    };
    const char* all[] = {"ItemOpen",    "ItemView",   "SubMenuSend", "ItemOpCut",    "ItemOpCopy",
                         "ItemOpPaste", "ItemRename", "ItemDelete",  "ItemFileAttr", "ItemFolder"};
    for (auto& c : cases) {
        SCOPED_TRACE(c.rows.size());
        select(l, c.rows);
        l.UpdateMenu();
        for (const char* name : all) {
            QAction* a = l.MenuItem(name);
            ASSERT_NE(a, nullptr) << name;
            const bool want = std::find(c.enabled.begin(), c.enabled.end(), name) != c.enabled.end();
            EXPECT_EQ(a->isEnabled(), want) << name;
        }
    }
    select(l, {"b.bin"});
    l.UpdateMenu();
    EXPECT_FALSE(l.MenuItem("ItemView")->isEnabled());

    // Send To: the fixed entries, the two usable desktop entries, the broken one left out.
    QMenu* send = l.MenuItem("SubMenuSend")->menu();
    ASSERT_NE(send, nullptr);
    QStringList texts;
    for (QAction* a : send->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"Any Folder ...", "Clipboard as Contents", "Clipboard as FileName",
                                  "Target folder", "Tool"}));
    std::vector<std::vector<std::string>> runs;
    ShellStartHook() = [&](const std::string& program, const std::vector<std::string>& args,
                           const std::string&) {
        std::vector<std::string> r{program};
        r.insert(r.end(), args.begin(), args.end());
        runs.push_back(r);
        return true;
    };
    select(l, {"a.txt", "b.bin"});
    EXPECT_TRUE(l.SendToEntry(sendTo + "/2-tool.desktop"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"/opt/my tool", "--in", d + "/a.txt", d + "/b.bin", "--x"}));
    ShellStartHook() = nullptr;
    EXPECT_TRUE(l.SendToEntry(sendTo + "/1-folder.desktop"));
    EXPECT_EQ(pvtest::readFile(target + "/a.txt"), "a");
    EXPECT_EQ(pvtest::readFile(target + "/b.bin"), "b");
    // A second time the copies exist: asked, and No keeps them.
    pvtest::writeFile(target + "/a.txt", "mine");
    boxes.answers = {ModalResult::No, ModalResult::No};
    EXPECT_FALSE(l.SendToEntry(sendTo + "/1-folder.desktop"));
    EXPECT_EQ(pvtest::readFile(target + "/a.txt"), "mine");

    // "Any Folder ...": the path typed into its dialog receives copies.
    const std::string any = tree("any");
    fs::create_directories(any);
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), "Send to any folder");
        auto* edit = dlg->findChild<QLineEdit*>("Path");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->maxLength(), 285);
        edit->setText(QString::fromStdString(any));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    select(l, {"b.bin"});
    l.MenuItem("SubMenuSend")->menu()->findChild<QAction*>("Send_To0")->trigger();
    EXPECT_EQ(pvtest::readFile(any + "/b.bin"), "b");

    // Attributes: read-only is the write permission.
    EXPECT_TRUE(TShFilelistView::ApplyAttributes(d + "/a.txt", true));
    EXPECT_TRUE(platform::fileAttributes(d + "/a.txt") & platform::faReadOnly);
    EXPECT_FALSE(TShFilelistView::ApplyAttributes(d + "/a.txt", true));
    EXPECT_TRUE(TShFilelistView::ApplyAttributes(d + "/a.txt", false));
}

TEST(ShDirTree, FolderOperations) {
    ExplorerTree tree;
    Boxes boxes;
    pvtest::writeFile(tree("a/b/ten.bin"), "0123456789");
    TShDirTree t;
    TShFilelistView l;
    t.SetFileList(&l);
    EXPECT_EQ(l.DirTree(), &t);
    t.SelectPath(tree("a/b"));
    QTreeWidgetItem* b = t.currentItem();
    ASSERT_EQ(TShFolderTree::NodePath(b), tree("a/b"));
    EXPECT_EQ(t.SelectedPath(), tree("a/b/"));

    // The menu's rules by level.
    struct Level {
        QTreeWidgetItem* node;
        bool add, edit;
    } levels[] = {
        {t.topLevelItem(0), false, false}, {t.topLevelItem(0)->child(0), true, false}, {b, true, true}};
    for (auto& lv : levels) {
        t.setCurrentItem(lv.node);
        t.UpdateMenu();
        EXPECT_EQ(t.MenuItem("AddNode")->isEnabled(), lv.add);
        EXPECT_EQ(t.MenuItem("GetTreeSize")->isEnabled(), lv.add);
        EXPECT_EQ(t.MenuItem("EditNode")->isEnabled(), lv.edit);
        EXPECT_EQ(t.MenuItem("DelNode")->isEnabled(), lv.edit);
    }

    EXPECT_NE(t.TreeSizeText(b).find("Folder \"b\"\rand all its Sub-Folders  =  1.00 KB"), std::string::npos)
        << t.TreeSizeText(b);
    // A link loop below is not followed.
    fs::create_directory_symlink(tree("a"), tree("a/b/loop"));
    EXPECT_NE(t.TreeSizeText(b).find("=  1.00 KB"), std::string::npos);

    EXPECT_FALSE(t.NewFolder(t.topLevelItem(0)));
    EXPECT_EQ(boxes.last(), "ERROR - Can't add drives");
    for (const char* bad : {"a:b", "x*", "q?"}) {
        EXPECT_FALSE(t.RenameNode(b, bad));
        EXPECT_EQ(boxes.last(), std::string("Error - Invalid Directory Name\r") + bad);
    }
    EXPECT_TRUE(fs::is_directory(tree("a/b")));

    // Rename: the question; No keeps the name, Yes renames and the list shows the parent.
    boxes.answers = {ModalResult::No};
    EXPECT_FALSE(t.RenameNode(b, "c2"));
    EXPECT_EQ(boxes.last(), "Do you want to rename the selected folder\r\r    From  : b\r    To     : c2");
    boxes.answers = {ModalResult::Yes};
    EXPECT_TRUE(t.RenameNode(b, "c2"));
    EXPECT_TRUE(fs::is_directory(tree("a/c2")));
    EXPECT_EQ(l.Directory(), tree("a/"));

    // New Folder under "a", then deleted: the parent is selected and shown.
    t.SelectPath(tree("a"));
    EXPECT_TRUE(t.NewFolder(t.currentItem(), "fresh"));
    EXPECT_TRUE(fs::is_directory(tree("a/fresh")));
    EXPECT_EQ(TShFolderTree::NodePath(t.currentItem()), tree("a/fresh"));
    l.SetDirectory(tree("a/fresh"));
    boxes.answers = {ModalResult::Yes};
    EXPECT_TRUE(t.DeleteFolder(t.currentItem()));
    EXPECT_FALSE(fs::exists(tree("a/fresh")));
    EXPECT_EQ(TShFolderTree::NodePath(t.currentItem()), tree("a"));
    EXPECT_EQ(l.Directory(), tree("a/"));
    EXPECT_EQ(t.SelectedPath(), tree("a"));
}

// Loading folders sets the nodes' texts; only a label the user edits renames, and asks.
TEST(ShDirTree, LoadingNeverAsksAndAnEditAsksOnce) {
    ExplorerTree tree;
    Boxes boxes;
    for (int i = 0; i < 30; ++i) fs::create_directories(tree("wide/d" + std::to_string(i) + "/sub"));
    TShDirTree t;
    t.show();
    t.SelectPath(tree("wide/d17/sub"));
    ASSERT_EQ(TShFolderTree::NodePath(t.currentItem()), tree("wide/d17/sub"));
    t.Reload();
    t.SelectPath(tree("wide/d3"));
    t.currentItem()->setExpanded(true);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.last();

    // An edit through the label editor: one question; No leaves the folder and the label.
    QTreeWidgetItem* d3 = t.currentItem();
    for (ModalResult answer : {ModalResult::No, ModalResult::Yes}) {
        boxes.shown.clear();
        boxes.answers = {answer};
        d3->setFlags(d3->flags() | Qt::ItemIsEditable);
        t.editItem(d3, 0);
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : t.findChildren<QLineEdit*>())
            if (e->isVisible()) editor = e;
        ASSERT_NE(editor, nullptr);
        editor->setText("renamed");
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on the next turn
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.last(),
                  "Do you want to rename the selected folder\r\r    From  : d3\r    To     : renamed");
        EXPECT_EQ(fs::is_directory(tree("wide/renamed")), answer == ModalResult::Yes);
        EXPECT_EQ(d3->text(0), answer == ModalResult::Yes ? "renamed" : "d3");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the closed editor
    }
}

// Both context menus are classes of their own, over the toolkit's popup menu, and come up
// 10 pixels right and below the click with their items enabled for what is under it.
TEST(ShellPopups, NamedMenusPopUpBesideTheClick) {
    ExplorerTree tree;
    Boxes boxes;
    const std::string d = tree("p");
    pvtest::writeFile(d + "/a.txt", "a");
    TShFilelistView l;
    l.SetDirectory(d);
    TShDirTree t;
    t.SelectPath(d);
    l.resize(300, 200);
    t.resize(300, 200);
    l.show();
    t.show();
    select(l, {"a.txt"});
    auto popUp = [](QAbstractScrollArea& view, QPoint at) -> QMenu* {
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &e);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const QPoint at(20, 12);
    QMenu* listMenu = popUp(l, at);
    ASSERT_NE(listMenu, nullptr);
    EXPECT_EQ(listMenu, l.PopupMenu());
    EXPECT_STREQ(listMenu->metaObject()->className(), "TShFileListViewPopUp");
    EXPECT_EQ(listMenu->pos(), l.viewport()->mapToGlobal(at) + QPoint(10, 10));
    EXPECT_TRUE(l.MenuItem("ItemOpen")->isEnabled());
    QStringList texts;
    for (QAction* a : listMenu->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"&Open", "&View", "Se&nd To", "Cu&t", "&Copy", "&Paste", "&Rename",
                                  "&Delete", "&Attributes ...", "&New Folder ..."}));
    listMenu->close();

    QMenu* treeMenu = popUp(t, at);
    ASSERT_NE(treeMenu, nullptr);
    EXPECT_EQ(treeMenu, t.PopupMenu());
    EXPECT_STREQ(treeMenu->metaObject()->className(), "TShDirTreePopUp");
    EXPECT_EQ(treeMenu->pos(), t.viewport()->mapToGlobal(at) + QPoint(10, 10));
    EXPECT_TRUE(t.MenuItem("DelNode")->isEnabled()); // a folder node is selected
    treeMenu->close();
}
