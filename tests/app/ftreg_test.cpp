// File-type registration against the desktop's own tools: xdg-mime must see the program as
// the default, gio must know the types we add, desktop-file-validate must accept the entry,
// and taking the association back must give another program its default again.
#include <gtest/gtest.h>

#include "app/core/IniFile.h"
#include "app/desktop/ftReg.h"
#include "apptest.h"

using namespace pvtest;

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string xdgDefault(const std::string& type) {
    return trimmed(run("xdg-mime query default " + q(type) + " 2>/dev/null").out);
}

} // namespace

TEST(FtReg, SplitsAndSkipsBadElements) {
    struct Case {
        const char* list;
        std::vector<std::string> want;
    } cases[] = {
        {".lha,.lzh", {".lha", ".lzh"}},
        {".ZIP", {".zip"}},
        {",.zip,,zip,.a-b,.,. tar,.7z", {".zip", ".7z"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ftreg::SplitExtensions(c.list), c.want) << c.list;
}

TEST(FtReg, AssociatesKnownAndOwnTypesForTheDesktopTools) {
    PV_REQUIRE_PEER("update-mime-database");
    apptest::IsolatedHome home;
    // A program path that needs every quoting rule of an Exec line.
    ftreg::SetProgramFile(home.home + "/my progs/$x \"q\" `b` 100%\\parvex");
    ftreg::RegisterProgId();
    EXPECT_FALSE(ftreg::IsAssociated(".zip"));

    ftreg::AssociateExtensions(".zip,.bh,.BAD-one");
    EXPECT_EQ(ftreg::MimeTypeForExtension(".bh"), "application/x-parvex-bh");
    EXPECT_TRUE(ftreg::IsAssociated(".zip,.bh"));
    EXPECT_TRUE(ftreg::IsAssociated(".ZIP"));
    EXPECT_FALSE(ftreg::IsAssociated(".zip,.cab"));

    TIniFile entry(ftreg::DesktopEntryPath());
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Name", ""), "Parvex 2000");
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Comment", ""), "Parvex File");
    EXPECT_EQ(entry.ReadString("Desktop Entry", "MimeType", ""), "application/zip;application/x-parvex-bh;");
    // The icon the entry names is in the user's hicolor theme, where launchers look it up.
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Icon", ""), "parvex");
    EXPECT_EQ(ftreg::IconPath(), home.data + "/icons/hicolor/scalable/apps/parvex.svg");
    auto svg = run("/usr/bin/python3 -c \"import sys, xml.etree.ElementTree as E; "
                   "print(E.parse(sys.argv[1]).getroot().tag)\" " +
                   q(ftreg::IconPath()));
    EXPECT_EQ(svg.out, "{http://www.w3.org/2000/svg}svg\n");

    if (havePeer("desktop-file-validate")) {
        auto r = run("desktop-file-validate " + q(ftreg::DesktopEntryPath()));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out, "");
    }
    if (havePeer("xdg-mime")) {
        EXPECT_EQ(xdgDefault("application/zip"), "parvex.desktop");
        EXPECT_EQ(xdgDefault("application/x-parvex-bh"), "parvex.desktop");
    }
    if (havePeer("gio")) {
        writeFile(home.dir / "pack.bh", "not really");
        auto r = run("gio info -a standard::content-type " + q((home.dir / "pack.bh").string()));
        EXPECT_NE(r.out.find("application/x-parvex-bh"), std::string::npos) << r.out;
    }
    ftreg::SetProgramFile("");
}

TEST(FtReg, UnassociatingGivesTheOtherProgramItsDefaultAndKeepsOtherLines) {
    apptest::IsolatedHome home;
    writeFile(home.data + "/applications/other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\nExec=other %f\nMimeType=application/zip;\n");
    const std::string list = home.config + "/mimeapps.list";
    writeFile(list, "# kept comment\n[Added Associations]\napplication/zip=other.desktop;\n"
                    "[Default Applications]\napplication/zip=other.desktop;\ntext/plain=editor.desktop;\n");

    ftreg::AssociateExtensions(".zip");
    TIniFile f(list);
    EXPECT_EQ(f.ReadString("Default Applications", "application/zip", ""), "parvex.desktop;other.desktop;");
    if (havePeer("xdg-mime")) {
        EXPECT_EQ(xdgDefault("application/zip"), "parvex.desktop");
    }

    ftreg::AssociateExtensions(".zip"); // twice: still one entry of ours
    f.Reload();
    EXPECT_EQ(f.ReadString("Default Applications", "application/zip", ""), "parvex.desktop;other.desktop;");

    ftreg::UnassociateExtensions(".zip");
    f.Reload();
    EXPECT_EQ(f.ReadString("Default Applications", "application/zip", ""), "other.desktop;");
    EXPECT_EQ(f.ReadString("Default Applications", "text/plain", ""), "editor.desktop;");
    EXPECT_EQ(f.ReadString("Added Associations", "application/zip", ""), "other.desktop;");
    EXPECT_NE(readFile(list).find("# kept comment"), std::string::npos);
    EXPECT_FALSE(ftreg::IsAssociated(".zip"));
    EXPECT_EQ(TIniFile(ftreg::DesktopEntryPath()).ReadString("Desktop Entry", "MimeType", "none"), "none");
    if (havePeer("xdg-mime")) {
        EXPECT_EQ(xdgDefault("application/zip"), "other.desktop");
    }
}
