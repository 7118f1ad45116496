// The viewer the window starts for a type no application claims: it shows a file as hex
// and text, read-only, whatever its size; a file it cannot read gives its reason.
#include <QTest>

#include <filesystem>
#include <string>

#include "apptest.h"
#include "stubs/hexedit/HexView.h"

using namespace apptest;
namespace fs = std::filesystem;

TEST(HexEdit, LinesShowOffsetHexAndPrintableText) {
    struct Case {
        std::string bytes;
        uint64_t offset;
        const char* line;
    } cases[] = {
        {"ABCDEFGHIJKLMNOP", 0,
         "00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  |ABCDEFGHIJKLMNOP|"},
        // A short last line keeps its text column under the others; control bytes show as '.'.
        {std::string("a\0\x7f\xff", 4), 0x1f0,
         "000001f0  61 00 7f ff                                       |a...|"},
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(hexedit::FormatLine(c.offset, data, int(c.bytes.size()), 8).toStdString(), c.line);
    }
    EXPECT_EQ(hexedit::OffsetDigits(0), 8);
    EXPECT_EQ(hexedit::OffsetDigits(uint64_t(1) << 32), 8);
    EXPECT_EQ(hexedit::OffsetDigits((uint64_t(1) << 32) + 1), 9);
}

TEST(HexEdit, ShowsABinaryFileAndRefusesWhatItCannotRead) {
    IsolatedHome home;
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += char(i);
    bytes += "Parvex hex viewer: text beside the bytes.\n";
    const fs::path bin = home.dir / "sample.bin";
    pvtest::writeFile(bin, bytes);

    hexedit::HexWindow window;
    QString error;
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(bin.string()), error)) << error.toStdString();
    hexedit::HexView& view = *window.View();
    EXPECT_EQ(view.FileSize(), bytes.size());
    EXPECT_EQ(view.LineCount(), (bytes.size() + 15) / 16);
    EXPECT_EQ(view.LineText(16).toStdString(),
              "00000100  50 61 72 76 65 78 20 68  65 78 20 76 69 65 77 65  |Parvex hex viewe|");
    EXPECT_TRUE(view.LineText(view.LineCount()).isEmpty());
    EXPECT_TRUE(window.windowTitle().contains("sample.bin"));
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(
        window.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "hexedit_viewer.png").string())));

    // An empty file opens (and says so); a folder and a missing file do not.
    pvtest::writeFile(home.dir / "empty", "");
    EXPECT_TRUE(view.OpenFile(QString::fromStdString((home.dir / "empty").string()), error));
    EXPECT_EQ(view.LineCount(), 0u);
    error.clear();
    EXPECT_FALSE(view.OpenFile(QString::fromStdString(home.dir.str()), error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(view.OpenFile(QString::fromStdString((home.dir / "missing").string()), error));
    EXPECT_FALSE(error.isEmpty());
}
