// The test window: tests the open archive each time it is shown and lists what the
// components said, then a verdict. Zip archives are tested by the zip component in test
// mode; every other archive by the engine's tester (or, for a kind the tester does not
// take, by its extractor's own test run). An archive that could not be tested is never
// called valid.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class TMainCore;

namespace outputcore {
// The header and footer lines around a test's output.
std::vector<std::string> HeaderLines(const std::string& archiveName);
std::vector<std::string> FooterLines(int errors);

// Tests the open archive. `lines` gets what the components reported; the result is the
// number of errors and warnings, or -1 when the test stopped before running (an empty zip,
// after its "No files to extract" box). FTestRunning is set only while the test runs.
int RunTest(TMainCore& main, std::vector<std::string>& lines);

// The whole text of one activation: header, output, footer (an empty zip ends after the
// header).
std::vector<std::string> TestArchive(TMainCore& main, int& errors);
} // namespace outputcore

class TOutputForm : public QDialog {
    Q_OBJECT
public:
    explicit TOutputForm(TMainCore& main, QWidget* parent = nullptr);

    // One test: the memo is cleared, the archive tested, the lines shown.
    void Activate();
    int ErrorCount() const { return FErrors; }

    QPlainTextEdit* mOutput = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMainCore& FMain;
    int FErrors = 0;
};
