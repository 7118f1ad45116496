#include "archive/aeCommon.h"

#include "archive/aeMsgs.h"
#include "platform/fileio.h"

#include "support/testutil.h"

TEST(AeCommonPaths, DirTailsAndSlashes) {
    EXPECT_EQ(AppendDirTail(""), "");
    EXPECT_EQ(AppendDirTail("a"), "a/");
    EXPECT_EQ(AppendDirTail("a/"), "a/");
    EXPECT_EQ(RemoveDirTail("a//"), "a/");
    EXPECT_EQ(RemoveDirTail("a"), "a");
    EXPECT_EQ(SlashToBackslash("a/b/c"), "a\\b\\c");
    EXPECT_EQ(BackslashToSlash("a\\b\\c"), "a/b/c");
    EXPECT_EQ(ExtractFileNamePart("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(ExtractDirPart("a/b\\c.txt"), "a/b\\");
    EXPECT_TRUE(IsUncPath("//server/share"));
    EXPECT_TRUE(IsUncPath("\\\\server"));
    EXPECT_FALSE(IsUncPath("//"));
    EXPECT_FALSE(IsUncPath("/a/b"));
}

TEST(AeCommonPaths, NameConversionUsesCodePage437) {
    EXPECT_EQ(OemToAnsiName(""), "");
    EXPECT_EQ(OemToAnsiName("DIR\\R\x82SUM\x82.TXT"), "DIR/R\xC3\xA9SUM\xC3\xA9.TXT");
    EXPECT_EQ(OemToAnsiName("caf\xC3\xA9"), "caf\xC3\xA9"); // already UTF-8: kept
    EXPECT_EQ(AnsiToOemName("dir\\caf\xC3\xA9"), "dir/caf\x82");
    EXPECT_EQ(AnsiToOemName("\xE6\x97\xA5"), "_");
}

TEST(AeCommonPaths, SmallHelpers) {
    EXPECT_EQ(BaseNameLength("archive.tar.gz"), 7u);
    EXPECT_EQ(BaseNameLength("README"), 6u);
    EXPECT_EQ(LastCharPtr("ab"), 1u);
    EXPECT_EQ(LastCharPtr("a\xC3\xA9"), 1u); // the first byte of the last character
    EXPECT_EQ(LastCharPtr(""), std::string::npos);
    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_TRUE(IsAllDigits("0123"));
    EXPECT_FALSE(IsAllDigits("12a"));
    EXPECT_EQ(SwapWords(0x12345678u), 0x56781234u);
    EXPECT_EQ(MinCardinal(3, 7), 3u);
    for (uint16_t w : std::initializer_list<uint16_t>{0x1E1F, 0x8B1F, 0x9D1F, 0x9E1F, 0xA01F})
        EXPECT_TRUE(IsGzipMagic(w)) << w;
    EXPECT_FALSE(IsGzipMagic(0x8B1E));

    EXPECT_EQ(Percent(1, 3), 33);
    EXPECT_EQ(Percent(2, 3), 67);
    EXPECT_EQ(Percent(1, 2), 50);
    EXPECT_EQ(Percent(5, 0), 0);
    EXPECT_EQ(Percent(-1, 3), 0);
    EXPECT_EQ(Percent(300, 100), 100);
    EXPECT_EQ(Percent(INT64_MAX / 2, INT64_MAX), 50); // no overflow in A * 100

    std::string s = "a;b;;c";
    EXPECT_EQ(SplitAt(s, ";"), "a");
    EXPECT_EQ(s, "b;;c");
    EXPECT_EQ(SplitAt(s, ";;"), "b");
    EXPECT_EQ(SplitAt(s, ";"), "c");
    EXPECT_EQ(s, "");

    std::vector<std::string> specs = {"", "a/b/c.txt", "", "x\\y\\*.doc", "dir/"};
    NormaliseSpecList(specs);
    EXPECT_EQ(specs, (std::vector<std::string>{"c.txt", "*.doc"}));
}

TEST(AeCommonPaths, CreateDirPathMakesEveryLevel) {
    pvtest::TempDir dir;
    const std::string deep = dir.str() + "/one/two/three/";
    CreateDirPath(deep);
    EXPECT_TRUE(DirExists(dir.str() + "/one/two/three"));
    CreateDirPath(deep); // existing: nothing to do
    try {
        CreateDirPath("");
        FAIL() << "an empty folder name must raise";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create directory");
    }
}

TEST(AeCommonPaths, ExistenceAndPlainFiles) {
    pvtest::TempDir dir;
    pvtest::writeFile(dir / "plain.txt", "x");
    pvtest::writeFile(dir / "ro.txt", "x");
    pvtest::writeFile(dir / ".hidden", "x");
    platform::setFileAttributes((dir / "ro.txt").string(), platform::faReadOnly);
    std::filesystem::create_symlink("plain.txt", dir / "link");
    EXPECT_TRUE(IsPlainFile((dir / "plain.txt").string()));
    EXPECT_FALSE(IsPlainFile((dir / "ro.txt").string()));
    EXPECT_FALSE(IsPlainFile((dir / ".hidden").string()));
    EXPECT_FALSE(IsPlainFile(dir.str()));
    EXPECT_FALSE(IsPlainFile((dir / "link").string())); // never written through
    EXPECT_FALSE(IsPlainFile((dir / "missing").string()));
    EXPECT_TRUE(FileOrDirExists(dir.str()));
    EXPECT_TRUE(FileOrDirExists((dir / "plain.txt").string()));
    EXPECT_FALSE(FileOrDirExists((dir / "missing").string()));
    EXPECT_FALSE(DirExists((dir / "plain.txt").string()));
    EXPECT_EQ(SystemTempDir().back(), '/');
}

TEST(AeCommonMsgs, TableHoldsTheExactTexts) {
    EXPECT_EQ(AeMessageText(25236), "Error reading file or unexpected end of file");
    EXPECT_EQ(AeMessageText(25248), "Inconsistant local header"); // spelling as users know it
    EXPECT_EQ(AeMessageText(26899), "Directory does not exist... Create?");
    EXPECT_EQ(AeMessageText(25110), "Bad file header");
    EXPECT_EQ(AeMessageText(25449), "User canceled");
    EXPECT_TRUE(AeMessageText(25112).empty());
    EXPECT_FALSE(AeHasMessage(0));
    EXPECT_EQ(AeMessageString(12345), "Error 12345");
    EXPECT_EQ(AeMessages().size(), 49u);
    for (const auto& m : AeMessages()) EXPECT_FALSE(m.Text.empty()) << m.Number;
}
