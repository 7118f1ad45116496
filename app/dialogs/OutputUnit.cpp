#include "app/dialogs/OutputUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "app/core/MainCore.h"
#include "archive/aeExtractors.h"
#include "archive/aeMsgs.h"
#include "archive/aeZipCheck.h"
#include "platform/ui_hooks.h"

namespace outputcore {
namespace {

// Clears the flag on every way out, so that a later add or extraction shows its progress.
struct TestRunningFlag {
    bool& flag;
    explicit TestRunningFlag(bool& f) : flag(f) { flag = true; }
    ~TestRunningFlag() { flag = false; }
};

int TestZip(TMainCore& main, std::vector<std::string>& lines) {
    TZipBackend* zip = main.ZipFront();
    if (!zip || zip->Count() == 0) {
        platform::messageBox("Error", "No files to extract", platform::MsgType::Error, platform::mbOK);
        return -1;
    }
    main.TestOutput.clear();
    main.TestErrorCount = 0;
    {
        TestRunningFlag running(main.FTestRunning);
        TZipBackend::ExtractRequest request;
        request.test = true;
        request.dirNames = true;
        try {
            zip->Extract(request);
        } catch (const std::exception& e) {
            main.TestOutput.push_back(e.what());
            ++main.TestErrorCount;
        }
    }
    lines = main.TestOutput;
    return main.TestErrorCount;
}

// The engine's archives: the tester, or the extractor's own test run for a kind the tester
// does not take. Every failed entry and every error counts once.
int TestEngineArchive(TMainCore& main, std::vector<std::string>& lines) {
    const auto type = static_cast<TArcType>(main.ArcLister() ? main.ArcLister()->TypeInfo().ArcType : 0);
    std::unique_ptr<TUnBase> tester;
    auto* check = static_cast<TZipCheck*>(nullptr);
    if (TZipCheck::Handles(type)) {
        auto c = std::make_unique<TZipCheck>();
        check = c.get();
        tester = std::move(c);
    } else {
        tester = CreateExtractor(type);
    }
    if (!tester) {
        lines.push_back("This kind of archive cannot be tested.");
        return 1;
    }
    int errors = 0;
    std::string lastErrorName;
    auto status = [&](const std::string& name, bool pass) {
        lines.push_back(std::string("  testing: ") + name + (pass ? "   OK" : "   failed"));
        // An entry whose error was already counted is not counted again.
        if (!pass && name != lastErrorName) ++errors;
        lastErrorName.clear();
    };
    tester->OnError = [&](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                          int code) {
        std::string text = AeMessageString(code);
        if (!msgEx.empty()) text += " (" + msgEx + ")";
        lines.push_back(fn.empty() ? text : fn + "  -  " + text);
        ++errors;
        lastErrorName = fn;
    };
    tester->OnGetPassword = [&main](TZipCommon&, const std::string& fn, std::string& pw, bool& tryAgain) {
        main.aeUnGetPassword(fn, tryAgain, pw);
    };
    tester->OnNextVolume = [&main](TZipCommon&, std::string& volume, const std::string& id, bool exists,
                                   bool& cancel) { main.aeNextVolume(volume, cancel, exists, id); };
    if (check) {
        check->TZipCommon::OnEnd = nullptr;
        check->OnStatus = [&](TZipCommon&, const std::string& fn, bool pass) { status(fn, pass); };
    } else {
        tester->OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { status(fn, pass); };
    }
    TestRunningFlag running(main.FTestRunning);
    try {
        tester->SetArchiveFile(main.FArchiveFile);
        tester->SetFileSpec({"*.*"});
        tester->UseStoredDirs = true;
        if (check)
            check->Run();
        else
            tester->Test();
    } catch (const std::exception& e) {
        // Already reported through OnError when it came from the engine; counted here only
        // when nothing was said.
        if (errors == 0) {
            lines.push_back(e.what());
            ++errors;
        }
    }
    if (tester->Cancel() && errors == 0) {
        lines.push_back(AeMessageString(kMsgUserCanceled));
        ++errors;
    }
    return errors;
}

} // namespace

std::vector<std::string> HeaderLines(const std::string& archiveName) {
    const std::string stars(38, '*');
    return {stars, "Testing archive: " + archiveName, stars, ""};
}

std::vector<std::string> FooterLines(int errors) {
    return {"", std::string(39, '*'), "Archive tested.",
            errors != 0 ? std::to_string(errors) + " error(s) or warning(s) were detected"
                        : "No errors detected, archive is valid."};
}

int RunTest(TMainCore& main, std::vector<std::string>& lines) {
    if (main.FHandlerKind == hkZipFront) return TestZip(main, lines);
    if (main.FHandlerKind == hkLister) return TestEngineArchive(main, lines);
    lines.push_back("No archive is open.");
    return 1;
}

std::vector<std::string> TestArchive(TMainCore& main, int& errors) {
    std::vector<std::string> out = HeaderLines(main.FArchiveName);
    std::vector<std::string> body;
    errors = RunTest(main, body);
    if (errors < 0) {
        errors = 0;
        return out;
    }
    out.insert(out.end(), body.begin(), body.end());
    for (std::string& l : FooterLines(errors)) out.push_back(std::move(l));
    return out;
}

} // namespace outputcore

TOutputForm::TOutputForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Testing archive...");
    mOutput = new QPlainTextEdit(this);
    mOutput->setReadOnly(true);
    mOutput->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    btnClose = new QPushButton("&Close", this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mOutput);
    layout->addLayout(buttons);
    resize(520, 360);
}

void TOutputForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Activate();
}

void TOutputForm::Activate() {
    mOutput->clear();
    btnClose->setEnabled(false);
    FErrors = 0;
    const std::vector<std::string> lines = outputcore::TestArchive(FMain, FErrors);
    for (const std::string& l : lines) mOutput->appendPlainText(QString::fromStdString(l));
    btnClose->setEnabled(true);
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.TestOutput = [](TDialogHost& host) {
        if (!host.Core().FArchiveOpen) return;
        TOutputForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
