// The run protocol every main operation follows, and the per-run context.
#include <string>
#include <vector>

#include "archive/aeBase.h"
#include "support/testutil.h"

namespace {

using pvtest::TempDir;

// A component whose main operation is the given work, run through the shared protocol.
class Runner : public TZipCommon {
public:
    std::vector<std::string> log;
    Runner() {
        OnActivate = [this](TZipCommon&) { log.push_back("activate"); };
        OnDeactivate = [this](TZipCommon&) { log.push_back("deactivate"); };
        OnElapsedTime = [this](TZipCommon&, float) { log.push_back("elapsed"); };
        OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
            log.push_back("error " + std::to_string(code));
        };
    }
    void Run(const std::function<void(int)>& work, TRunSpec spec = {}) { RunOperation(spec, work); }
};

std::string makeZipLike(const TempDir& d) {
    // A tiny gzip header is enough for the protocol: a file of a known type.
    const std::string p = (d / "a.gz").string();
    pvtest::writeFile(p, std::string("\x1f\x8b\x08\x00", 4) + std::string(40, '\0'));
    return p;
}

TEST(AeBaseRun, EventsInOrderAndHandleOpen) {
    TempDir d;
    Runner r;
    r.SetArchiveFile(makeZipLike(d));
    ASSERT_EQ(r.ArcType(), atGZip);
    r.FileCount = 9;
    r.SetCancel(true);
    bool ran = false;
    r.Run([&](int h) {
        ran = true;
        EXPECT_GE(h, 0);
        EXPECT_EQ(CurrentComponent(), &r);
        EXPECT_EQ(ActiveRun(), &r.Ctx());
        EXPECT_FALSE(r.Cancel());
        EXPECT_EQ(r.FileCount, 0);
        EXPECT_EQ(r.ScanEnd, r.ArchiveSize);
        r.log.push_back("work");
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(r.log, (std::vector<std::string>{"activate", "work", "elapsed", "deactivate"}));
    EXPECT_EQ(ActiveRun(), nullptr);
    EXPECT_FALSE(r.Running());
}

TEST(AeBaseRun, ChecksRaiseThroughOnError) {
    TempDir d;
    {
        Runner r;
        EXPECT_THROW(r.Run([](int) { FAIL(); }), E_RAISE);
        EXPECT_EQ(r.log, std::vector<std::string>{"error 25172"});
    }
    {
        Runner r;
        r.SetArchiveFile(makeZipLike(d));
        TRunSpec spec;
        spec.Handles = ArcBit(atZip);
        EXPECT_THROW(r.Run([](int) { FAIL(); }, spec), E_RAISE);
        EXPECT_EQ(r.log, std::vector<std::string>{"error 25242"});
    }
    {
        // Outside-library types are not opened by the driver.
        pvtest::writeFile(d / "x.rar", std::string("Rar!\x1a\x07\x00", 7) + std::string(40, '\0'));
        Runner r;
        r.SetArchiveFile((d / "x.rar").string());
        ASSERT_EQ(r.ArcType(), atRar);
        r.Run([](int h) { EXPECT_EQ(h, -1); });
    }
    // Nothing is left registered after a failed check.
    EXPECT_EQ(ActiveRun(), nullptr);
}

TEST(AeBaseRun, AnExceptionLeavesThroughTheCleanUp) {
    TempDir d;
    Runner r;
    r.SetArchiveFile(makeZipLike(d));
    int handle = -1;
    try {
        r.Run([&](int h) {
            handle = h;
            r.RaiseError(r.ArchiveFile(), "", "0", 25110);
        });
        FAIL();
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, 25110);
    }
    EXPECT_EQ(r.log, (std::vector<std::string>{"activate", "error 25110", "elapsed", "deactivate"}));
    EXPECT_EQ(ActiveRun(), nullptr);
    // The handle was closed.
    char b;
    EXPECT_LT(ReadFileHandle(handle, &b, 1), 0);
    // The component is ready for the next run.
    r.log.clear();
    r.Run([](int) {});
    EXPECT_EQ(r.log.size(), 3u);
}

TEST(AeBaseRun, ARunWhileAnotherRunsIsRefused) {
    TempDir d;
    Runner outer, inner;
    outer.SetArchiveFile(makeZipLike(d));
    inner.SetArchiveFile(outer.ArchiveFile());
    outer.Ctx().Crc32Value = 1;
    outer.Run([&](int) {
        outer.Ctx().Crc32Value = 0x1234;
        try {
            inner.Run([](int) { FAIL() << "nested run started"; });
            FAIL();
        } catch (const E_RAISE& e) {
            EXPECT_EQ(e.ECode, kMsgRunBusy);
            EXPECT_NE(std::string(e.what()).find("already running"), std::string::npos);
        }
        // The same component again is refused too.
        EXPECT_THROW(outer.Run([](int) {}), E_RAISE);
        // The running operation's state is untouched.
        EXPECT_EQ(outer.Ctx().Crc32Value, 0x1234u);
        EXPECT_EQ(CurrentComponent(), &outer);
    });
    EXPECT_TRUE(inner.log.empty());
}

TEST(AeBaseRun, ChildRunsWhenAllowedGetTheirOwnContext) {
    TempDir d;
    Runner parent, child;
    parent.SetArchiveFile(makeZipLike(d));
    child.SetArchiveFile(parent.ArchiveFile());
    parent.Run([&](int) {
        parent.Ctx().Crc32Value = 0xAAAA;
        TChildRunScope allow(parent.Ctx());
        child.Run([&](int) {
            EXPECT_EQ(CurrentComponent(), &child);
            EXPECT_EQ(child.Ctx().Crc32Value, 0xFFFFFFFFu); // a fresh context
            child.Ctx().Crc32Value = 0xBBBB;
        });
        EXPECT_EQ(CurrentComponent(), &parent);
        EXPECT_EQ(parent.Ctx().Crc32Value, 0xAAAAu);
    });
    EXPECT_EQ(child.log.size(), 3u);
}

TEST(AeBaseRun, UnitStateLivesPerRun) {
    struct Dec {
        int calls = 0;
    };
    TempDir d;
    Runner r;
    r.SetArchiveFile(makeZipLike(d));
    r.Run([&](int) { EXPECT_EQ(++r.Ctx().UnitState<Dec>().calls, 1); });
    r.Run([&](int) { EXPECT_EQ(++r.Ctx().UnitState<Dec>().calls, 1); });
}

} // namespace
