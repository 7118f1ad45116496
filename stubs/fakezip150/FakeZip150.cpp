// A zip library of version 1.50 that only writes down the old-layout records it receives,
// one "key=value" per line, and calls back the way every library run does.
#include "zipdll/ZipRecords.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

FILE* openLog() {
    const char* path = std::getenv("PV_FAKE150_LOG");
    return path ? std::fopen(path, "a") : nullptr;
}

const char* text(const char* s) {
    return s ? s : "(null)";
}

// The process's current folder while the library runs.
void logCwd(FILE* f) {
    char buf[4096];
    std::fprintf(f, "cwd=%s\n", getcwd(buf, sizeof(buf)) ? buf : "(unknown)");
}

void callBack(TZipCallback cb, void* caller, int32_t action, const char* msg) {
    if (!cb) return;
    TZipCallbackRec rec{};
    rec.Caller = caller;
    rec.ActionCode = action;
    if (msg) std::strncpy(rec.Text, msg, sizeof(rec.Text) - 1);
    cb(&rec);
}

} // namespace

// $PV_FAKE_VERSION overrides the version, so that tests see the current layouts too.
int32_t version() {
    const char* v = std::getenv("PV_FAKE_VERSION");
    return v ? std::atoi(v) : 150;
}

extern "C" int32_t GetZipDllVersion() {
    return version();
}
extern "C" int32_t GetUnzDllVersion() {
    return version();
}

void logCurrent(const TZipParams* r) {
    FILE* f = openLog();
    if (!f) return;
    std::fprintf(f,
                 "lib=zip\nversion=%d\nseven=%d\nargc=%d\narchive=%s\npassword=%s\nlevel=%d\njunkdir=%d\n"
                 "recurse=%u\nencrypt=%d\ndelete=%d\nfreshen=%d\nupdate=%d\nsuffix=%s\ntrace=%d\nverbose=%d\n"
                 "nodirentries=%d\ntemp=%s\ncomment=%s\nexcl=%d\n",
                 r->Version, r->fSeven, r->argc, text(r->pZipFN), text(r->Password), r->fLevel, r->fJunkDir,
                 r->fRecurse, r->fEncrypt, r->fDeleteEntries, r->fFreshen, r->fUpdate, text(r->Suffix),
                 r->fTraceEnabled, r->fVerbose, r->fNoDirEntries, text(r->fTempPath), text(r->fArchComment),
                 r->fTotExFileSpecs);
    for (int i = 0; i < r->argc; ++i)
        std::fprintf(f, "spec=%s|%s|%d|%u|%s\n", text(r->fFDS[i].FileSpec), text(r->fFDS[i].Password),
                     r->fFDS[i].Encrypt, r->fFDS[i].Recurse, text(r->fFDS[i].RootDir));
    for (int i = 0; i < r->fTotExFileSpecs; ++i) std::fprintf(f, "exclude=%s\n", text(r->fExFiles[i]));
    for (int i = 0; i < r->argc; ++i) std::fprintf(f, "literal=%d\n", r->fFDS[i].Literal);
    std::fclose(f);
}

extern "C" int32_t ZipDllExec(TZipParams* p) {
    if (version() > 150) {
        callBack(p->Callback, p->Caller, zcaTotalSize, nullptr);
        logCurrent(p);
        callBack(p->Callback, p->Caller, zcaEndOfBatch, nullptr);
        return p->argc;
    }
    auto* r = reinterpret_cast<TZipParams150*>(p);
    callBack(r->Callback, r->Caller, zcaTotalSize, nullptr);
    if (FILE* f = openLog()) {
        std::fprintf(f,
                     "lib=zip\nversion=%d\nseven=%d\nargc=%d\narchive=%s\npassword=%s\nlevel=%d\njunkdir=%d\n"
                     "recurse=%u\nencrypt=%d\ndelete=%d\nfreshen=%d\nupdate=%d\nsuffix=%s\n",
                     r->Version, r->fSeven, r->argc, text(r->pZipFN), text(r->Password), r->fLevel,
                     r->fJunkDir, r->fRecurse, r->fEncrypt, r->fDeleteEntries, r->fFreshen, r->fUpdate,
                     text(r->Suffix));
        for (int i = 0; i < r->argc && i < kOldSpecSlots; ++i) std::fprintf(f, "spec=%s\n", text(r->FNV[i]));
        std::fclose(f);
    }
    callBack(r->Callback, r->Caller, zcaMessage, "fake library 1.50");
    callBack(r->Callback, r->Caller, zcaEndOfBatch, nullptr);
    return r->argc;
}

extern "C" int32_t UnzDllExec(TUnzParams* p) {
    if (version() > 151) {
        callBack(p->Callback, p->Caller, zcaTotalSize, nullptr);
        if (FILE* f = openLog()) {
            std::fprintf(f,
                         "lib=unz\nversion=%d\nseven=%d\nargc=%d\narchive=%s\npassword=%s\ntest=%d\ndirs=%d\n"
                         "pwdreq=%d\n",
                         p->Version, p->fSeven, p->fArgc, text(p->pZipFN), text(p->fPassword), p->fTest,
                         p->fDirectories, p->fPwdReqCount);
            for (int i = 0; i < p->fArgc; ++i) std::fprintf(f, "spec=%s\n", text(p->fUFDS[i].FileSpec));
            for (int i = 0; i < p->fArgc; ++i) std::fprintf(f, "literal=%d\n", p->fUFDS[i].Literal);
            if (version() >= 160) std::fprintf(f, "extractdir=%s\n", text(p->fExtractDir));
            logCwd(f);
            std::fclose(f);
        }
        callBack(p->Callback, p->Caller, zcaEndOfBatch, nullptr);
        return p->fArgc;
    }
    auto* r = reinterpret_cast<TUnzParams151*>(p);
    callBack(r->Callback, r->Caller, zcaTotalSize, nullptr);
    if (FILE* f = openLog()) {
        std::fprintf(f, "lib=unz\nversion=%d\nseven=%d\nargc=%d\narchive=%s\npassword=%s\ntest=%d\ndirs=%d\n",
                     r->Version, r->fSeven, r->fArgc, text(r->pZipFN), text(r->fPassword), r->fTest,
                     r->fDirectories);
        for (int i = 0; i < r->fArgc && i < kOldSpecSlots; ++i) std::fprintf(f, "spec=%s\n", text(r->FNV[i]));
        logCwd(f);
        std::fclose(f);
    }
    callBack(r->Callback, r->Caller, zcaEndOfBatch, nullptr);
    return r->fArgc;
}
