// The parameter records as the libraries receive them (through a fake library that writes
// down what it got), the file-spec syntax, and the callback's answers for each action code.
#include "platform/ui_hooks.h"
#include "ziptest.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

using namespace pvtest;
using namespace ziptest;

namespace {

// Points the component at the fake library and collects what it wrote down.
class FakeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        cwd_ = fs::current_path();
        log_ = t_ / "record.log";
        setenv("PV_FAKE150_LOG", log_.c_str(), 1);
        unsetenv("PV_FAKE_VERSION");
        writeFile(t_ / "x.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
        attach(z_, ev_);
        z_.SetDLLDirectory((binDir() / "fake150").string());
        z_.SetZipFileName((t_ / "x.zip").string());
    }
    void TearDown() override {
        fs::current_path(cwd_);
        unsetenv("PV_FAKE150_LOG");
        unsetenv("PV_FAKE_VERSION");
    }
    // The lines the fake wrote since the last call.
    std::vector<std::string> received() {
        std::vector<std::string> lines;
        std::istringstream in(readFile(log_));
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        fs::remove(log_);
        return lines;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& l) {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    }
    static std::vector<std::string> specs(const std::vector<std::string>& lines) {
        std::vector<std::string> s;
        for (auto& l : lines)
            if (l.rfind("spec=", 0) == 0) s.push_back(l.substr(5));
        return s;
    }

    TempDir t_;
    fs::path log_, cwd_;
    TZipFront z_;
    Events ev_;
};

} // namespace

TEST_F(FakeLibrary, Version150GetsTheLongRecordsWithPlainSpecs) {
    EXPECT_EQ(z_.ZipDllVersion(), 150) << ev_.all();
    EXPECT_EQ(z_.UnzDllVersion(), 150) << ev_.all();

    z_.Password = "rec";
    z_.AddCompLevel = 5;
    z_.FSpecArgs = {">a/*.txt", "b.txt<pw"};
    z_.Add();
    EXPECT_EQ(z_.SuccessCnt, 2) << ev_.all();
    auto add = received();
    for (auto l : {"lib=zip", "version=160", "seven=7", "argc=2", "password=rec", "level=5", "delete=0"})
        EXPECT_TRUE(has(add, l)) << l;
    EXPECT_EQ(specs(add), (std::vector<std::string>{">a/*.txt", "b.txt<pw"}));
    EXPECT_TRUE(z_.FSpecArgs.empty());
    EXPECT_TRUE(ev_.saw("fake library 1.50"));

    z_.FSpecArgs = {"old.txt"};
    z_.Delete();
    auto del = received();
    EXPECT_TRUE(has(del, "delete=-1"));
    EXPECT_EQ(specs(del), (std::vector<std::string>{"old.txt"}));

    z_.FSpecArgs = {"*.txt", "d/e.txt"};
    z_.ExtrOptions = {ExtrTest};
    z_.Password = "";
    z_.Extract();
    auto unz = received();
    for (auto l : {"lib=unz", "seven=7", "argc=2", "test=-1", "password="}) EXPECT_TRUE(has(unz, l)) << l;
    EXPECT_EQ(specs(unz), (std::vector<std::string>{"*.txt", "d/e.txt"}));

    // An old library would ask for the password it cannot get unattended: it gets a filler.
    z_.AddOptions = {AddEncrypt};
    z_.Extract();
    unz = received();
    auto pw = std::find_if(unz.begin(), unz.end(), [](auto& l) { return l.rfind("password=", 0) == 0; });
    ASSERT_NE(pw, unz.end());
    EXPECT_EQ(pw->size(), std::string("password=").size() + 80);
}

TEST_F(FakeLibrary, CurrentRecordsCarrySpecSyntaxAndFlags) {
    setenv("PV_FAKE_VERSION", "160", 1);
    z_.Password = "rp";
    z_.AddOptions = {AddRecurseDirs, AddFreshen, AddUpdate};
    z_.Trace = true;
    z_.TempDir = "/var/tmp";
    z_.SetRootDir("/root/dir");
    z_.FSpecArgs = {"|*.txt", ">data\\*.*<", "f.txt<word", "plain.txt"};
    z_.FSpecArgsExcl = {"*.log"};
    z_.Add();
    auto add = received();
    for (auto l : {"version=160", "seven=7", "argc=4", "freshen=0", "update=-1", "trace=-1", "verbose=-1",
                   "nodirentries=-1", "junkdir=-1", "recurse=65535", "temp=/var/tmp", "excl=1",
                   "exclude=*.log", "suffix=.gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha"})
        EXPECT_TRUE(has(add, l)) << l;
    // spec | password | encrypt | recurse | root
    EXPECT_EQ(specs(add), (std::vector<std::string>{
                              "*.txt|rp|0|0|/root/dir/", "data\\*.*|(null)|0|65535|/root/dir/",
                              "f.txt|word|65535|65535|/root/dir/", "plain.txt|rp|0|65535|/root/dir/"}));
    EXPECT_TRUE(z_.FSpecArgsExcl.empty());

    // Unattended without password or handler: no questions, and the count comes back.
    z_.Password = "";
    z_.SetPasswordReqCount(4);
    z_.FSpecArgs = {"a"};
    z_.FSpecArgsExcl = {"kept"};
    z_.Extract();
    auto unz = received();
    EXPECT_TRUE(has(unz, "pwdreq=0"));
    EXPECT_TRUE(ev_.saw("Warning - Unattended Extract: possible not all files extracted"));
    EXPECT_EQ(z_.PasswordReqCount(), 4u);
    EXPECT_EQ(z_.FSpecArgsExcl, std::vector<std::string>{"kept"});

    z_.OnPasswordError = [](TZipFront&, std::string&, const std::string&, uint32_t&) {};
    z_.Extract();
    EXPECT_TRUE(has(received(), "pwdreq=4"));
}

// The target folder travels in the record: the process's current folder stays where it
// was. Only a library older than the field is run inside the target, and the folder is
// left again before Extract returns. Stored names are marked as such, wildcards are not.
TEST_F(FakeLibrary, TargetFolderAndStoredNamesTravelInTheRecord) {
    const std::string before = fs::current_path().string();
    const fs::path target = t_ / "out" / "deep";
    struct Case {
        const char* version;
        bool fieldKnown;
    } cases[] = {{"160", true}, {"152", false}, {"150", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        setenv("PV_FAKE_VERSION", c.version, 1);
        z_.ExtrBaseDir = target.string();
        z_.FSpecArgs = {"*.txt", "a/b.txt"};
        z_.FSpecArgsLiteral = true;
        z_.Extract();
        auto unz = received();
        EXPECT_EQ(fs::current_path().string(), before);
        EXPECT_TRUE(fs::is_directory(target));
        EXPECT_FALSE(z_.FSpecArgsLiteral);
        if (c.fieldKnown) {
            EXPECT_TRUE(has(unz, "extractdir=" + target.string()));
            EXPECT_TRUE(has(unz, "cwd=" + before));
        } else {
            EXPECT_TRUE(has(unz, "cwd=" + target.string()));
        }
        if (std::string(c.version) != "150") {
            EXPECT_EQ(std::count(unz.begin(), unz.end(), "literal=1"), 2);
        }
    }
    setenv("PV_FAKE_VERSION", "160", 1);
    z_.FSpecArgs = {"*.txt"};
    z_.Extract(); // wildcards unless marked
    EXPECT_TRUE(has(received(), "literal=0"));
    z_.FSpecArgs = {"*.txt"};
    z_.FSpecArgsLiteral = true;
    z_.Delete();
    EXPECT_TRUE(has(received(), "literal=1"));
}

TEST(AddSpecSyntax, PrefixesAndPasswords) {
    struct Case {
        const char* line;
        std::string spec;
        std::optional<std::string> password;
        int32_t encrypt;
        uint16_t recurse;
    };
    for (const Case& c :
         {Case{"|*.txt", "*.txt", "rec", -1, 0}, Case{">data\\*.*<", "data\\*.*", std::nullopt, 0, 65535},
          Case{"f.txt<word", "f.txt", "word", 65535, 7}, Case{">|x", "|x", "rec", -1, 65535},
          Case{"plain", "plain", "rec", -1, 7}}) {
        TAddSpec s = ParseAddSpec(c.line, "rec", -1, 7);
        EXPECT_EQ(s.Spec, c.spec) << c.line;
        EXPECT_EQ(s.Password, c.password) << c.line;
        EXPECT_EQ(s.Encrypt, c.encrypt) << c.line;
        EXPECT_EQ(s.Recurse, c.recurse) << c.line;
    }
    EXPECT_EQ(ParseAddSpec("a", "", 0, 0).Password, std::nullopt);
}

// ---- The callback, one action code at a time ----

namespace {
int32_t callBack(TZipFront& z, int32_t action, int32_t a1, int32_t a2, const std::string& text,
                 TZipCallbackRec* out = nullptr) {
    TZipCallbackRec rec{};
    rec.Caller = &z;
    rec.ActionCode = action;
    rec.Arg1 = a1;
    rec.Arg2 = a2;
    std::strncpy(rec.Text, text.c_str(), sizeof(rec.Text) - 1);
    int32_t r = TZipFront::ZCallback(&rec);
    if (out) *out = rec;
    return r;
}
} // namespace

TEST(ZipCallback, ProgressMessagesAndCancel) {
    TZipFront z;
    Events ev;
    attach(z, ev);
    std::vector<std::tuple<ProgressType, std::string, int64_t>> prog;
    z.OnProgress = [&](TZipFront&, ProgressType t, const std::string& f, int64_t n) {
        prog.emplace_back(t, f, n);
    };
    callBack(z, zcaTotalSize, 0, 1000, "");
    callBack(z, zcaTotalFiles, 0, 3, "");
    callBack(z, zcaNewFile, 0, 77, "dir\\file.txt  \r\n");
    callBack(z, zcaProgress, 0, 10, "ignored");
    callBack(z, zcaEndOfBatch, 0, 0, "");
    using P = std::tuple<ProgressType, std::string, int64_t>;
    EXPECT_EQ(prog, (std::vector<P>{P{ptTotalSize, "", 1000}, P{ptTotalFiles, "", 3},
                                    P{ptNewFile, "dir/file.txt", 77}, P{ptProgress, "", 10},
                                    P{ptEndOfBatch, "", 0}}));
    EXPECT_EQ(z.TotalSizeToProcess(), 1000);

    callBack(z, zcaMessage, 0x1234, 0, "library says");
    EXPECT_EQ(z.ErrCode, 0x34);
    EXPECT_EQ(z.FullErrCode, 0x1234);
    EXPECT_EQ(ev.codes.back(), 0x1234);
    EXPECT_EQ(z.Message, "library says");

    EXPECT_EQ(callBack(z, 99, 0, 0, ""), 0);
    z.Cancel = true;
    EXPECT_EQ(callBack(z, zcaProgress, 0, 1, ""), -1);
}

TEST(ZipCallback, QuestionsAndTheirAnswers) {
    TZipFront z;
    Events ev;
    attach(z, ev);
    TZipCallbackRec r{};

    // Password: a handler raising the repeat count to 40 hands back 15.
    z.OnPasswordError = [](TZipFront&, std::string& pw, const std::string& f, uint32_t& n) {
        EXPECT_EQ(f, "a.txt");
        pw = "open";
        n = 40;
    };
    callBack(z, zcaPassword, 0, 2, "a.txt", &r);
    EXPECT_EQ(r.Arg1, 1);
    EXPECT_EQ(r.Arg2, 15);
    EXPECT_STREQ(r.Text, "open");
    // No handler and unattended: the own question says why and answers nothing.
    z.OnPasswordError = nullptr;
    callBack(z, zcaPassword, 1, 2, "a.txt", &r);
    EXPECT_EQ(r.Arg1, 0);
    EXPECT_EQ(r.Arg2, 0);
    EXPECT_TRUE(ev.saw("Error - no add password given"));
    // Attended: asked through the UI hooks, twice when adding.
    z.Unattended = false;
    std::vector<std::string> prompts;
    platform::UiHooks hooks;
    hooks.askText = [&](const std::string& cap, const std::string& prompt, std::string& v, bool secret) {
        EXPECT_EQ(cap, "Password");
        EXPECT_TRUE(secret);
        prompts.push_back(prompt);
        v = "twice";
        return true;
    };
    {
        platform::ScopedUiHooks scoped(hooks);
        callBack(z, zcaPassword, 1, 1, "a.txt", &r);
    }
    EXPECT_EQ(prompts, (std::vector<std::string>{"Enter Password ", "Confirm Password "}));
    EXPECT_STREQ(r.Text, "twice");
    EXPECT_EQ(z.Password, ""); // never stored
    z.Unattended = true;

    // CRC error: 2 without a handler, else the handler's choice.
    callBack(z, zcaCrcError, 1, 2, "a.txt", &r);
    EXPECT_EQ(r.Arg1, 2);
    z.OnCRC32Error = [](TZipFront&, const std::string&, uint32_t found, uint32_t expected, bool& doIt) {
        EXPECT_EQ(found, 0xDEADBEEFu);
        EXPECT_EQ(expected, 0x12345678u);
        doIt = false;
    };
    callBack(z, zcaCrcError, static_cast<int32_t>(0xDEADBEEF), 0x12345678, "a.txt", &r);
    EXPECT_EQ(r.Arg1, 0);

    // Overwrite: unanswered without a handler; the handler sees the default and "older".
    callBack(z, zcaOverwrite, 1, 0x100, "a.txt", &r);
    EXPECT_EQ(r.Arg2, 0x100);
    z.OnExtractOverwrite = [](TZipFront&, const std::string&, bool older, bool& doIt) {
        EXPECT_TRUE(older);
        EXPECT_FALSE(doIt);
        doIt = true;
    };
    callBack(z, zcaOverwrite, 1, 0x100, "a.txt", &r);
    EXPECT_EQ(r.Arg2, 1);

    // New name: written back when the handler changes it.
    callBack(z, zcaNewName, 5, 0, "old.txt", &r);
    EXPECT_EQ(r.Arg1, 5); // no handler: untouched
    z.OnSetNewName = [](TZipFront&, std::string& n, bool& changed) {
        n = "new/" + n;
        changed = true;
    };
    callBack(z, zcaNewName, 0, 0, "old.txt", &r);
    EXPECT_EQ(r.Arg1, 1);
    EXPECT_STREQ(r.Text, "new/old.txt");

    // Skipped: a code becomes ErrCode.
    callBack(z, zcaSkipped, 0x252, stBadPassword, "a.txt", &r);
    EXPECT_EQ(z.ErrCode, 0x52);
    ASSERT_EQ(ev.skipped.size(), 1u);
    EXPECT_EQ(ev.skipped[0].second, stBadPassword);

    // File comment: the new comment goes back with its length.
    z.OnFileComment = [](TZipFront&, const std::string& f, std::string& c, bool& changed) {
        EXPECT_EQ(f, "a.txt");
        c = "remark";
        changed = true;
    };
    callBack(z, zcaFileComment, 0, 0, "a.txt", &r);
    EXPECT_EQ(r.Arg1, 1);
    EXPECT_EQ(r.Arg2, 6);
    EXPECT_STREQ(r.Text, "remark");
}
