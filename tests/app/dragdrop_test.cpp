// Rows dragged out of the main window, with the test playing the target, and files dropped
// on it; archives made by the peer and read back by it.
#include <QDrag>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include "app/dialogs/DialogSeams.h"
#include "app/window/MainUnit.h"
#include "controls/DropSource.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

struct DragFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainForm> form;
    fs::path src;

    void SetUp() override {
        app();
        src = home.dir / "src";
        pvtest::writeBytes(src / "docs" / "a.txt", pvtest::randomBytes(1024 * 1024 + 5, 1));
        pvtest::writeFile(src / "docs" / "b.txt", pvtest::sampleText(200000, 2));
        pvtest::writeFile(src / "c.txt", "c\n");
        form = std::make_unique<TMainForm>(CreateLiveZip(), CreateLiveLister(),
                                           (pvtest::binDir() / "parvex").string());
    }
    void TearDown() override { TDropSource::SetDragRunner(nullptr); }
    void select(std::initializer_list<const char*> names) {
        std::vector<bool> wanted;
        for (const TListRow& r : form->Rows)
            wanted.push_back(
                std::any_of(names.begin(), names.end(), [&](const char* n) { return r.StoredName == n; }));
        form->SelectRows(wanted);
    }
};

TEST_F(DragFixture, TheTargetsFirstReadExtractsTheAnnouncedFilesByteExact) {
    PV_REQUIRE_PEER("zip");
    ASSERT_EQ(run("zip -qr ../a.zip docs c.txt", src).status, 0);
    form->show();
    form->OpenArchive((home.dir / "a.zip").string());
    ASSERT_TRUE(form->FArchiveOpen);
    form->FOptZipDirs = true;
    select({"docs/a.txt", "docs/b.txt"});

    // The target looks at the names first (nothing is there yet), then reads the data.
    QList<QUrl> urls;
    bool existedBeforeRead = true;
    TDropSource::SetDragRunner([&](QDrag* drag, Qt::DropActions allowed) {
        EXPECT_TRUE(allowed & Qt::CopyAction);
        existedBeforeRead = fs::exists(form->FDragFolder + "docs");
        urls = drag->mimeData()->urls();
        return Qt::CopyAction;
    });
    // A press and a move of two pixels with the button held start the drag.
    // The press may change the selection; the rows are chosen again before the move.
    QWidget* vp = form->ZipList()->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(5, 5));
    select({"docs/a.txt", "docs/b.txt"});
    QMouseEvent move(QEvent::MouseMove, QPointF(7, 5), vp->mapToGlobal(QPointF(7, 5)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    EXPECT_FALSE(existedBeforeRead);
    ASSERT_EQ(urls.size(), 1);
    const fs::path docs = urls[0].toLocalFile().toStdString();
    EXPECT_EQ(docs.filename(), "docs");
    EXPECT_EQ(docs.parent_path().string() + "/", form->FDragFolder);
    EXPECT_EQ(pvtest::readBytes(docs / "a.txt"), pvtest::readBytes(src / "docs" / "a.txt"));
    EXPECT_EQ(pvtest::readBytes(docs / "b.txt"), pvtest::readBytes(src / "docs" / "b.txt"));
    EXPECT_FALSE(fs::exists(docs.parent_path() / "c.txt"));

    // Without folder names: one path per row, in a new folder of its own.
    const std::string firstFolder = form->FDragFolder;
    form->FOptZipDirs = false;
    select({"docs/a.txt", "c.txt"});
    form->StartDragOut();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_NE(form->FDragFolder, firstFolder);
    std::vector<std::string> names;
    for (const QUrl& u : urls) names.push_back(fs::path(u.toLocalFile().toStdString()).filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(pvtest::readFile(fs::path(form->FDragFolder) / "c.txt"), "c\n");

    // A target that refuses never reads, and nothing is extracted.
    TDropSource::SetDragRunner([](QDrag*, Qt::DropActions) { return Qt::IgnoreAction; });
    select({"c.txt"});
    form->StartDragOut();
    EXPECT_FALSE(fs::exists(fs::path(form->FDragFolder) / "c.txt"));
}

TEST_F(DragFixture, DroppedFilesAskAboutOneArchiveAndElseGoToAZip) {
    PV_REQUIRE_PEER("zip");
    // The window's full drop dialog gets the names when it is there; the least one otherwise.
    auto saved = DialogSeams().FileDrop;
    std::vector<std::string> handed;
    DialogSeams().FileDrop = [&](TDialogHost&, const std::vector<std::string>& p) { handed = p; };
    form->DropFiles({"/x/a.txt", "/y"});
    EXPECT_EQ(handed, (std::vector<std::string>{"/x/a.txt", "/y"}));
    EXPECT_TRUE(form->FShellFiles.empty());
    DialogSeams().FileDrop = nullptr;
    struct Restore {
        std::function<void(TDialogHost&, const std::vector<std::string>&)> f;
        ~Restore() { DialogSeams().FileDrop = f; }
    } restore{saved};

    ASSERT_EQ(run("zip -qr ../pack.zip docs", src).status, 0);
    pvtest::writeFile(home.dir / "x.zoo", "not really");
    const std::string pack = (home.dir / "pack.zip").string();
    const std::string archiveQuestion = "The file you dragged is an archive, do you want to open it ?";

    struct Case {
        std::vector<std::string> dropped;
        std::vector<platform::ModalResult> answers;
        bool asksArchive;
        bool opensPack;
    };
    using platform::ModalResult;
    const std::string a = (src / "c.txt").string(), zoo = (home.dir / "x.zoo").string();
    const std::vector<Case> cases = {
        {{pack}, {ModalResult::Yes}, true, true},
        {{pack}, {ModalResult::No, ModalResult::No}, true, false}, // then the drop dialog, declined
        {{pack, a}, {ModalResult::No}, false, false},
        {{zoo}, {ModalResult::No}, false, false}, // ".zoo" is not in the list
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropped.size() == 1 ? c.dropped[0] : "two files");
        form->CloseArchive();
        boxes.shown.clear();
        boxes.answers = c.answers;
        form->DropFiles(c.dropped);
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_EQ(boxes.shown[0].text == archiveQuestion, c.asksArchive);
        EXPECT_EQ(form->FArchiveOpen && form->FArchiveFile == pack, c.opensPack);
        EXPECT_TRUE(form->FShellFiles.empty());
    }

    // Yes to the drop dialog: a new zip named after the first name, with both.
    form->CloseArchive();
    boxes.shown.clear();
    boxes.answers = {ModalResult::Yes};
    form->DropFiles({a, (src / "docs").string()});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Add the dropped files to " + (src / "c.zip").string() + " ?");
    PV_REQUIRE_PEER("unzip");
    EXPECT_EQ(run("unzip -tq c.zip", src).status, 0);
    const std::string listed = run("unzip -Z1 c.zip", src).out;
    for (const char* n : {"c.txt\n", "docs/a.txt\n", "docs/b.txt\n"})
        EXPECT_NE(listed.find(n), std::string::npos) << listed;
}

} // namespace
