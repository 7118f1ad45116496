// The answers to the components' questions that are not about extraction progress:
// passwords, the next volume, damaged entries, the packers' runs and errors; and the one
// place that binds every component's events to the window's handlers.
#include "app/core/MainCore.h"
#include "platform/ui_hooks.h"
#include "common/PathParts.h"

using pvcommon::FileNamePart;

namespace {

// Packers: which of the window's handlers answer which kind's events.
struct TPackerBinding {
    bool listerActivate; // pvArcListerActivate/Deactivate, else pvGzipActivate/Deactivate
    bool fileExists;     // aeUnFileExists
    bool password;       // aeUnGetPassword
    bool cabError;       // pvCabError, else aeError
};

TPackerBinding bindingOf(int kind) {
    switch (TPackerId(kind)) {
    case TPackerId::Bh:
        return {true, false, true, true};
    case TPackerId::Cab:
        return {true, false, false, false};
    case TPackerId::GZip:
        return {true, true, false, false};
    case TPackerId::Jar:
        return {true, true, true, false};
    case TPackerId::Lha:
        return {false, false, false, false};
    default: // tar answers as its sibling gzip does
        return {true, true, false, false};
    }
}

} // namespace

// ---------------------------------------------------------------- binding

void TMainCore::BindComponentEvents(TZipBackend& z) {
    z.OnDirUpdate = [this] { pvZipFrontDirUpdate(); };
    z.OnMessage = [this](int code, const std::string& msg) { pvZipFrontMessage(code, msg); };
    z.OnProgress = [this](int type, const std::string& name, int64_t size) {
        pvZipFrontProgress(type, name, size);
    };
    z.OnExtractOverwrite = [this](const std::string& forFile, bool isOlder, bool& doOverwrite) {
        pvZipFrontExtractOverwrite(forFile, isOlder, doOverwrite);
    };
    z.OnPasswordError = [this](std::string& pw, const std::string& forFile, uint32_t& repeat) {
        pvZipFrontPasswordError(pw, forFile, repeat);
    };
    z.OnCRC32Error = [this](const std::string& forFile, uint32_t, uint32_t, bool& doExtract) {
        pvZipFrontCRC32Error(forFile, doExtract);
    };
    z.OnFileWritten = [this](const std::string& path, bool replaced) {
        pvZipFrontFileWritten(path, replaced);
    };
    // The next-disk request stays the component's own: it shows the disk it wants.
}

void TMainCore::BindComponentEvents(TListerBackend& l) {
    l.OnActivate = [this] { pvArcListerActivate(); };
    l.OnRead = [this](const TListEntry& e) { pvArcListerRead(e); };
    l.OnTotals = [this](int n) { pvArcListerTotals(n); };
    l.OnDeactivate = [this] { pvArcListerDeactivate(); };
    l.OnError = [this](const std::string& fn, int code, const std::string& text) { pvError(fn, code, text); };
    l.OnNextVolume = [this](std::string& volume, const std::string& id, bool exists, bool& cancel) {
        aeNextVolume(volume, cancel, exists, id);
    };
}

void TMainCore::BindComponentEvents(TExtractorBackend& u) {
    u.OnActivate = [this] { aeUnActivate(); };
    u.OnDeactivate = [this] { aeUnDeactivate(); };
    u.OnBegin = [this](const std::string& n) { aeBegin(n); };
    u.OnProgress = [this](int f, int a) { aeUnProgress(f, a); };
    u.OnFileExists = [this](const std::string& n, double d, bool& o) { aeUnFileExists(n, d, o); };
    u.OnEnd = [this](const std::string& n, bool pass) { aeUnEnd(n, pass); };
    u.OnError = [this](const std::string& n, int code, const std::string& t) { aeError(n, code, t); };
    u.OnGetPassword = [this](const std::string& n, std::string& pw, bool& tryAgain) {
        aeUnGetPassword(n, tryAgain, pw);
    };
    u.OnNextVolume = [this](std::string& volume, const std::string& id, bool exists, bool& cancel) {
        aeNextVolume(volume, cancel, exists, id);
    };
    // Renaming while extracting is for the rename command's own runs, not these.
    u.OnRenameCompressedFile = nullptr;
}

void TMainCore::BindComponentEvents(TPackerBackend& p) {
    const TPackerBinding b = bindingOf(p.Kind());
    if (b.listerActivate) {
        p.OnActivate = [this] { pvArcListerActivate(); };
        p.OnDeactivate = [this] { pvArcListerDeactivate(); };
    } else {
        p.OnActivate = [this] { pvGzipActivate(); };
        p.OnDeactivate = [this] { pvGzipDeactivate(); };
    }
    p.OnBegin = [this](const std::string& n) { aeBegin(n); };
    p.OnProgress = [this](int f, int a) { aeUnProgress(f, a); };
    p.OnFileExists = nullptr;
    if (b.fileExists)
        p.OnFileExists = [this](const std::string& n, double d, bool& o) { aeUnFileExists(n, d, o); };
    p.OnGetPassword = nullptr;
    if (b.password)
        p.OnGetPassword = [this](const std::string& n, std::string& pw, bool& tryAgain) {
            aeUnGetPassword(n, tryAgain, pw);
        };
    if (b.cabError)
        p.OnError = [this](const std::string& n, int code, const std::string& t) {
            pvCabError(n, code, {}, t);
        };
    else
        p.OnError = [this](const std::string& n, int code, const std::string& t) { aeError(n, code, t); };
    p.OnGetNextCabinet = nullptr;
    if (p.Kind() == 2)
        p.OnGetNextCabinet = [this](std::string& n, bool& cancel) { pvCabGetNextCabinet(n, cancel); };
    p.OnRenameCompressedFile = nullptr;
}

// ---------------------------------------------------------------- passwords

namespace {
const char* const kBatchNoPassword =
    "Password needed: the archive holds encrypted files, and a run without a window asks for no password";
}

void TMainCore::ShowPasswordDialog() {
    platform::PasswordQuestion q;
    q.caption = "Password needed";
    q.prompt = "Please enter password to extract files.";
    q.okText = "&OK";
    q.cancelText = "&Cancel";
    std::string text;
    if (platform::askPassword(q, text)) {
        FCancelled = false;
        FArchivePassword = text;
    } else {
        FCancelled = true;
    }
}

void TMainCore::pvZipFrontPasswordError(std::string& newPassword, const std::string&, uint32_t& repeatCount) {
    if (FCommandLineMode) {
        BatchSay(kBatchNoPassword);
        FBatchPasswordRefused = true;
        newPassword.clear();
        repeatCount = 0;
        return;
    }
    FAskPassword = true;
    ShowPasswordDialog();
    FAskPassword = false;
    if (FCancelled) {
        // Cancel gives the entry up rather than trying an old password once more.
        newPassword.clear();
        repeatCount = 0;
        return;
    }
    newPassword = FArchivePassword;
}

void TMainCore::aeUnGetPassword(const std::string&, bool& tryAgain, std::string& password) {
    tryAgain = false;
    if (FCommandLineMode) {
        BatchSay(kBatchNoPassword);
        password.clear();
        return;
    }
    FAskPassword = true;
    ShowPasswordDialog();
    FAskPassword = false;
    password = FCancelled ? std::string() : FArchivePassword;
    // The extractor stops without a word when it gets no password; the run says why.
    if (FCancelled && FSpecialExtractRunning) FRun.cancelled = true;
}

// ---------------------------------------------------------------- volumes

void TMainCore::aeNextVolume(std::string& volumeName, bool& cancel, bool exists,
                             const std::string& volumeID) {
    cancel = false;
    if (exists) return;
    std::string value = volumeName;
    const bool ok = platform::askText("Get next volume",
                                      "Insert next disk or locate the file: " + FileNamePart(volumeName) +
                                          " (ID: " + volumeID + ")",
                                      value, false);
    cancel = !ok;
    // The component checks the answer and asks again for a name that does not exist.
    if (ok) volumeName = value;
}

// ---------------------------------------------------------------- damaged entries, errors

void TMainCore::pvZipFrontCRC32Error(const std::string& forFile, bool& doExtract) {
    // A damaged entry's data never reaches a file.
    doExtract = false;
    const std::string text = forFile + "  -  crc";
    if (FSpecialExtractRunning) {
        ++FRun.errors;
        if (FRun.firstError.empty()) FRun.firstError = text;
    }
    if (FTestRunning) {
        TestOutput.push_back(text);
        ++TestErrorCount;
        return;
    }
    platform::messageBox("Parvex 2000", text, platform::MsgType::Error, platform::mbOK);
}

void TMainCore::pvCabError(const std::string& name, int, const std::string&, const std::string& message) {
    if (FTestRunning) {
        TestOutput.push_back(name + "  -  " + message);
        ++TestErrorCount;
        return;
    }
    platform::messageBox("Parvex 2000", name + "  -  " + message, platform::MsgType::Information,
                         platform::mbOK);
}

void TMainCore::pvCabGetNextCabinet(std::string&, bool&) {}

// ---------------------------------------------------------------- packer runs

void TMainCore::pvGzipActivate() {
    StatForm.Gauge1 = StatForm.Gauge2 = 0;
    DisableAll();
    if (!StatForm.Visible) {
        StatForm.Visible = true;
        StatForm.Caption = "Status...";
    }
    StatChanged();
}

void TMainCore::pvGzipDeactivate() {
    StatForm.Visible = false;
    StatChanged();
    EnableAll();
    EndListUpdate();
}
