// Dragging files out, with the test playing the drop target through the drag runner.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QUrl>

#include "controls/DropSource.h"
#include "controltest.h"

namespace {

struct Target {
    Qt::DropAction choose; // the action the target proposes and performs
    bool reads;            // whether it reads the data
    QByteArray got;
};

} // namespace

TEST(DropSource, DropActionsAgainstDragTypes) {
    ctltest::app();
    struct Case {
        TDragTypes types;
        Qt::DropAction choose;
        bool reads;
        TDropResult want;
        bool dropRaised;
    } cases[] = {
        {DragTypeBit(dtCopy), Qt::CopyAction, true, drCopied, true},
        {DragTypeBit(dtCopy), Qt::MoveAction, true, drCancelled, false}, // move not allowed
        {DragTypeBit(dtCopy) | DragTypeBit(dtMove), Qt::MoveAction, true, drMoved, true},
        {DragTypeBit(dtLink), Qt::LinkAction, true, drLinked, true},
        {DragTypeBit(dtCopy), Qt::IgnoreAction, false, drCancelled, false}, // Esc or no target
        {DragTypeBit(dtCopy), Qt::CopyAction, false, drCopied, false},
    };
    for (const auto& c : cases) {
        TDropFileSource src;
        src.Files = {"/tmp/a b.txt", "/tmp/x/ü.zip"};
        src.Dragtypes = c.types;
        bool raised = false;
        src.OnDrop = [&](TDropSource*, TDragType, bool&) { raised = true; };
        Target t{c.choose, c.reads, {}};
        TDropSource::SetDragRunner([&t](QDrag* drag, Qt::DropActions) {
            if (t.choose != Qt::IgnoreAction) emit drag->actionChanged(t.choose);
            if (t.reads) t.got = drag->mimeData()->data(kMimeUriList);
            return t.choose;
        });
        EXPECT_EQ(src.Execute(), c.want) << int(c.choose);
        EXPECT_EQ(raised, c.dropRaised) << int(c.choose);
        if (c.dropRaised) {
            EXPECT_EQ(t.got, "file:///tmp/a%20b.txt\r\nfile:///tmp/x/%C3%BC.zip\r\n");
        }
    }
    TDropSource::SetDragRunner(nullptr);
}

TEST(DropSource, OnDropRunsOnceBeforeTheDataAndMayCallItOff) {
    ctltest::app();
    TDropFileSource src;
    int calls = 0;
    src.OnDrop = [&](TDropSource* s, TDragType type, bool& cont) {
        ++calls;
        EXPECT_EQ(type, dtCopy);
        static_cast<TDropFileSource*>(s)->Files = {"/tmp/made-now.txt"}; // the files appear now
        cont = calls == 1;
    };
    QByteArray first, second;
    TDropSource::SetDragRunner([&](QDrag* drag, Qt::DropActions) {
        first = drag->mimeData()->data(kMimeUriList);
        second = drag->mimeData()->data(kMimeUriList);
        return Qt::CopyAction;
    });
    EXPECT_EQ(src.Execute(), drCopied);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(first, "file:///tmp/made-now.txt\r\n");
    EXPECT_EQ(second, first);

    // Called off: no data, and the drop counts as cancelled.
    src.OnDrop = [&](TDropSource*, TDragType, bool& cont) { cont = false; };
    QByteArray got = "unset";
    TDropSource::SetDragRunner([&](QDrag* drag, Qt::DropActions) {
        got = drag->mimeData()->data(kMimeUriList);
        return Qt::CopyAction;
    });
    EXPECT_EQ(src.Execute(), drCancelled);
    EXPECT_TRUE(got.isEmpty());
    TDropSource::SetDragRunner(nullptr);
}

TEST(DropSource, FormatsClipboardAndImageRules) {
    ctltest::app();
    TDropFileSource src;
    EXPECT_FALSE(src.CopyToClipboard()); // no files
    EXPECT_FALSE(src.Render(kMimeUriList).has_value());
    src.Files = {"/tmp/a.txt", "/tmp/b.txt"};
    src.MappedNames = {"one.txt"};
    EXPECT_FALSE(src.Render(kMimeFileNameMap).has_value()); // counts differ
    EXPECT_TRUE(src.Render(kMimeUriList).has_value());
    src.MappedNames = {"one.txt", "two.txt"};
    EXPECT_EQ(*src.Render(kMimeFileNameMap), "one.txt\ntwo.txt\n");

    ASSERT_TRUE(src.CutToClipboard());
    EXPECT_EQ(src.LastEffect(), 2);
    const QMimeData* cb = QApplication::clipboard()->mimeData();
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(cb->data(kMimeGnomeCopied), "cut\nfile:///tmp/a.txt\nfile:///tmp/b.txt");
    EXPECT_EQ(cb->data(kMimeKdeCut), "1");
    ASSERT_TRUE(src.CopyToClipboard());
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data(kMimeKdeCut), "0");

    for (int i = 0; i < 30; ++i) src.AddFormat(QString("application/x-test-%1").arg(i));
    EXPECT_EQ(src.Formats().size(), TDropSource::kMaxFormats);

    std::vector<QPixmap> images(2, QPixmap(8, 8));
    EXPECT_FALSE(src.ShowImage());
    src.SetShowImage(true); // no list: stays off
    EXPECT_FALSE(src.ShowImage());
    src.SetImages(&images);
    EXPECT_TRUE(src.ShowImage());
    src.SetImageIndex(1);
    EXPECT_EQ(src.ImageIndex(), 1);
    src.SetImageIndex(5); // beyond the list: ignored
    EXPECT_EQ(src.ImageIndex(), 1);
    src.SetImageIndex(-1);
    EXPECT_EQ(src.ImageIndex(), 0);
    EXPECT_FALSE(src.ShowImage());
}
