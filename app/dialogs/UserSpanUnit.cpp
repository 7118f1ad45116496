#include "app/dialogs/UserSpanUnit.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/core/MainCore.h"
#include "platform/ui_hooks.h"

namespace {

// A whole number of KB that makes a volume (at least 1 KB); false for anything else.
bool parseSize(const std::string& text, int& kb) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    const std::string t = text.substr(b, e - b);
    if (t.empty()) return false;
    size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    if (i == t.size()) return false;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return false;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    // 0 would divide by zero; the size in bytes must fit the component's counters.
    if (errno != 0 || v < 1 || v > INT_MAX / 1024) return false;
    kb = int(v);
    return true;
}

} // namespace

void TUserSpanState::FormShow(const TMainCore& main) {
    if (main.FSpanSizeKB == 720) {
        Checked = sz720;
        UserSizeEnabled = false;
    } else if (main.FSpanSizeKB == 1430 || main.FSpanSizeKB == 0) {
        Checked = sz1440;
        UserSizeEnabled = false;
    } else {
        Checked = szUser;
        UserSizeEnabled = true;
        UserSize = std::to_string(main.FSpanSizeKB);
    }
    Cancelled = 1; // closing by the frame counts as cancel
}

void TUserSpanState::Choose(TSize size) {
    Checked = size;
    UserSizeEnabled = size == szUser;
}

bool TUserSpanState::OkClick(TMainCore& main) {
    int kb = 0;
    switch (Checked) {
    case sz720:
        kb = 720;
        break;
    case sz1440:
        kb = 1410;
        break;
    case szUser:
        if (!parseSize(UserSize, kb)) {
            platform::messageBox("Error", kNotInteger, platform::MsgType::Error, platform::mbOK);
            return false;
        }
        break;
    }
    Cancelled = 0;
    main.FSpanExisting = true;
    main.FSpanSizeKB = kb;
    if (WriteSpanMode == 0 || main.FHandlerKind != hkZipFront) return true;
    // The archive could not be moved aside: it is as it was, and the dialog stays.
    return main.GoUserSpan() != TMainCore::srNotMoved;
}

// ---------------------------------------------------------------- the dialog

TUserSpanForm::TUserSpanForm(TMainCore& main, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FMain(main) {
    setObjectName("UserSpanForm");
    setWindowTitle("Spanning options");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    gbSize = new QGroupBox("File size:", this);
    gbSize->setObjectName("gbSize");
    auto* g = new QVBoxLayout(gbSize);
    rb720Kb = new QRadioButton("720 Kb (DD-Disk)", gbSize);
    rb720Kb->setObjectName("rb720Kb");
    rb1440Kb = new QRadioButton("1430 Kb (HD-Disk)", gbSize);
    rb1440Kb->setObjectName("rb1440Kb");
    rbUserSize = new QRadioButton("User defined size", gbSize);
    rbUserSize->setObjectName("rbUserSize");
    g->addWidget(rb720Kb);
    g->addWidget(rb1440Kb);
    g->addWidget(rbUserSize);
    auto* user = new QHBoxLayout;
    user->addSpacing(20);
    oeUserSize = new QLineEdit("500", gbSize);
    oeUserSize->setObjectName("oeUserSize");
    oeUserSize->setEnabled(false);
    lbKb = new QLabel("Kb", gbSize);
    lbKb->setObjectName("lbKb");
    user->addWidget(oeUserSize);
    user->addWidget(lbKb);
    user->addStretch(1);
    g->addLayout(user);
    layout->addWidget(gbSize);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkBtn = new QPushButton("&OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton("&Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);

    connect(rb720Kb, &QRadioButton::clicked, this, [this] {
        FState.Choose(TUserSpanState::sz720);
        Sync();
    });
    connect(rb1440Kb, &QRadioButton::clicked, this, [this] {
        FState.Choose(TUserSpanState::sz1440);
        Sync();
    });
    connect(rbUserSize, &QRadioButton::clicked, this, [this] {
        FState.Choose(TUserSpanState::szUser);
        Sync();
    });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    Sync();
}

void TUserSpanForm::Sync() {
    rb720Kb->setChecked(FState.Checked == TUserSpanState::sz720);
    rb1440Kb->setChecked(FState.Checked == TUserSpanState::sz1440);
    rbUserSize->setChecked(FState.Checked == TUserSpanState::szUser);
    oeUserSize->setEnabled(FState.UserSizeEnabled);
    if (oeUserSize->text().toStdString() != FState.UserSize)
        oeUserSize->setText(QString::fromStdString(FState.UserSize));
}

void TUserSpanForm::ShowModal(int writeSpanMode) {
    FState.WriteSpanMode = writeSpanMode;
    FState.FormShow(FMain);
    Sync();
    exec();
}

void TUserSpanForm::OkBtnClick() {
    FState.UserSize = oeUserSize->text().toStdString();
    if (FState.OkClick(FMain)) {
        Sync();
        accept();
    }
}

void TUserSpanForm::reject() {
    FState.CancelClick();
    FMain.FSpanExisting = false; // nothing to span after a cancelled dialog
    QDialog::reject();
}
