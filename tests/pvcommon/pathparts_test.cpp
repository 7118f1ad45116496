// Splitting '/'-separated paths: a dot in a folder is no extension, a leading dot is part
// of the name, and a name without folder has an empty folder part.
#include "common/PathParts.h"

#include <gtest/gtest.h>

using namespace pvcommon;

TEST(PathParts, NamesFoldersAndExtensions) {
    struct {
        const char* path;
        const char* name;
        const char* folder;
        const char* ext;
    } cases[] = {
        {"a/b/c.txt", "c.txt", "a/b/", ".txt"},
        {"c.tar.gz", "c.tar.gz", "", ".gz"},
        {"v1.2/readme", "readme", "v1.2/", ""},
        {"dir/.profile", ".profile", "dir/", ".profile"},
        {"dir/", "", "dir/", ""},
        {"", "", "", ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNamePart(c.path), c.name);
        EXPECT_EQ(FolderPart(c.path), c.folder);
        EXPECT_EQ(ExtensionOf(c.path), c.ext);
    }
    EXPECT_EQ(WithoutExtension("c.tar.gz"), "c.tar");
    EXPECT_EQ(WithoutExtension(".profile"), ".profile");
    EXPECT_EQ(LowerAscii("AbC.ÄZ"), "abc.Äz");
    EXPECT_EQ(UpperAscii("AbC.z"), "ABC.Z");
    EXPECT_TRUE(EndsWithNoCase("A.Tar.GZ", ".tar.gz"));
    EXPECT_TRUE(EndsWithNoCase("x.zip", ".ZIP"));
    EXPECT_TRUE(EndsWithNoCase(".exe", ".exe"));
    EXPECT_FALSE(EndsWithNoCase("exe", ".exe"));
    EXPECT_FALSE(EndsWithNoCase("a.\xC4XE", ".\xE4xe")); // other bytes keep their case
}
