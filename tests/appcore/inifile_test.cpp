#include "app/core/IniFile.h"

#include "support/testutil.h"

using pvtest::readFile;
using pvtest::TempDir;
using pvtest::writeFile;

TEST(IniFile, SectionsAndKeysMatchWithoutCaseAndForeignLinesStay) {
    TempDir t;
    auto path = t / "a.ini";
    writeFile(path,
              "; made by hand\n[Visual]\nRowSelect=1\nUnknownKey = kept value \n\n[Other]\nx=\"quoted\"\n");
    TIniFile ini(path.string());
    EXPECT_EQ(ini.ReadString("visual", "ROWSELECT", "d"), "1");
    EXPECT_EQ(ini.ReadString("VISUAL", "unknownkey", "d"), "kept value");
    EXPECT_EQ(ini.ReadString("other", "x", "d"), "quoted");
    EXPECT_EQ(ini.ReadString("Missing", "x", "d"), "d");

    ASSERT_TRUE(ini.WriteString("VISUAL", "rowselect", "0")); // replaces in place, keeps the stored spelling
    ASSERT_TRUE(ini.WriteString("visual", "GridLines", "1")); // new key goes to the end of its section
    ASSERT_TRUE(ini.WriteString("New", "Key", "v"));
    EXPECT_EQ(readFile(path),
              "; made by hand\n[Visual]\nRowSelect=0\nUnknownKey = kept value \nGridLines=1\n\n"
              "[Other]\nx=\"quoted\"\n\n[New]\nKey=v\n");
}

TEST(IniFile, WritesGoThroughToTheFileAtOnce) {
    TempDir t;
    auto path = t / "sub" / "dir" / "b.ini"; // the folder is created by the first write
    TIniFile writer(path.string());
    EXPECT_FALSE(writer.SectionExists("AppOpt"));
    writer.WriteInteger("AppOpt", "Height", 471);
    writer.WriteBool("Update", "CheckNewVersion", true);
    TIniFile reader(path.string());
    EXPECT_EQ(reader.ReadInteger("appopt", "height", 0), 471);
    EXPECT_TRUE(reader.ReadBool("update", "checknewversion", false));
    EXPECT_TRUE(reader.ValueExists("AppOpt", "HEIGHT"));

    writer.DeleteKey("AppOpt", "Height");
    writer.EraseSection("Update");
    reader.Reload();
    EXPECT_FALSE(reader.ValueExists("AppOpt", "Height"));
    EXPECT_FALSE(reader.SectionExists("Update"));
}

TEST(IniFile, IntegersFallBackToTheDefaultOnAnythingButDecimal) {
    TempDir t;
    auto path = t / "c.ini";
    writeFile(path, "[S]\na=12\nb=12x\nc=\nd=-7\ne=0\n");
    TIniFile ini(path.string());
    EXPECT_EQ(ini.ReadInteger("S", "a", 5), 12);
    EXPECT_EQ(ini.ReadInteger("S", "b", 5), 5);
    EXPECT_EQ(ini.ReadInteger("S", "c", 5), 5);
    EXPECT_EQ(ini.ReadInteger("S", "d", 5), -7);
    EXPECT_FALSE(ini.ReadBool("S", "e", true));
    EXPECT_TRUE(ini.ReadBool("S", "a", false));
}
