#include "app/dialogs/OverwriteUnit.h"

#include <QLabel>
#include <QStyle>

#include "controls/Win2KButton.h"
#include "platform/ui_hooks.h"

namespace {
// The callers separate the two lines as the old system did ("\n\r"); a label wants "\n".
QString lines(const std::string& s) {
    QString t = QString::fromStdString(s);
    t.replace("\n\r", "\n").replace("\r\n", "\n").replace('\r', '\n');
    return t;
}
} // namespace

TOverwriteForm::TOverwriteForm(TOverwriteState& state, bool& cancelled, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FState(state), FCancelled(cancelled) {
    setObjectName("OverwriteForm");
    setWindowTitle(TOverwriteState::kCaption);
    setFixedSize(424, 196);

    imgQuestion = new QLabel(this);
    imgQuestion->setGeometry(12, 14, 32, 32);
    imgQuestion->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));

    auto label = [this](const QString& text, QRect r, bool wrap) {
        auto* l = new QLabel(text, this);
        // Names are shown as they are, never read as markup; long ones are cut, the
        // window keeps its size.
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(wrap);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setGeometry(r);
        return l;
    };
    lRelpace = label("Replace file:", QRect(56, 10, 356, 16), false);
    lReplaceFile = label(QString(), QRect(56, 28, 356, 44), true);
    lReplaceWith = label("with file:", QRect(56, 78, 356, 16), false);
    lReplaceWithFile = label(QString(), QRect(56, 96, 356, 44), true);

    struct B {
        TWin2KButton** field;
        const char* text;
        TOverwriteAnswer answer;
    };
    const B buttons[] = {{&btnYes, "&Yes", oaYes},
                         {&btnYestoall, "Y&es to all", oaYesToAll},
                         {&btnNo, "&No", oaNo},
                         {&btnNotoall, "N&o to all", oaNoToAll},
                         {&btnCancel, "&Cancel", oaCancel}};
    int x = 12;
    for (const B& b : buttons) {
        auto* btn = new TWin2KButton(b.text, this);
        btn->setGeometry(x, 156, 76, 25);
        btn->setAutoDefault(false);
        x += 81;
        *b.field = btn;
        const TOverwriteAnswer answer = b.answer;
        connect(btn, &QPushButton::clicked, this, [this, answer] {
            FState.Choose(answer, FCancelled);
            accept();
        });
    }
    btnYes->setDefault(true);
}

void TOverwriteForm::FormShow() {
    lReplaceFile->setText(lines(FState.ReplaceFileText));
    lReplaceWithFile->setText(lines(FState.ReplaceWithFileText));
}

void TOverwriteForm::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

TOverwriteAnswer TOverwriteForm::Ask() {
    exec();
    return FState.Answer;
}
