#include "app/dialogs/excludeunit.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>
#include <fstream>

#include "app/core/MainCore.h"
#include "platform/fileio.h"

namespace {

QString shown(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

constexpr int kSpecRole = Qt::UserRole + 1;

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

TExcludeSpecForm::TExcludeSpecForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("ExcludeSpecForm");
    setWindowTitle("Exclude from Adding");
    setModal(true);
    auto* g = new QGridLayout(this);
    lbExSpec = new QListWidget(this);
    lbExSpec->setObjectName("lbExSpec");
    lbExSpec->setSelectionMode(QAbstractItemView::ExtendedSelection);
    g->addWidget(lbExSpec, 0, 0, 1, 2);
    edExSpec = new QLineEdit(this);
    edExSpec->setObjectName("edExSpec");
    g->addWidget(edExSpec, 1, 0);
    auto button = [&](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    btnBrowse = button("btnBrowse", "...");
    g->addWidget(btnBrowse, 1, 1);
    auto* side = new QVBoxLayout;
    btnAdd = button("btnAdd", "&Add");
    btnDel = button("btnDel", "&Del");
    btnLoad = button("btnLoad", "&Load");
    btnSave = button("btnSave", "&Save");
    for (QPushButton* b : {btnAdd, btnDel, btnLoad, btnSave}) side->addWidget(b);
    side->addStretch(1);
    g->addLayout(side, 0, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    btnOk = button("btnOk", "&OK");
    btnCancel = button("btnCancel", "&Cancel");
    bottom->addWidget(btnOk);
    bottom->addWidget(btnCancel);
    g->addLayout(bottom, 2, 0, 1, 3);

    for (const std::string& s : FMain.FExcludeSpecs) {
        auto* item = new QListWidgetItem(shown(s), lbExSpec);
        item->setData(kSpecRole, QByteArray::fromStdString(s));
    }
    connect(btnAdd, &QPushButton::clicked, this, &TExcludeSpecForm::btnAddClick);
    connect(edExSpec, &QLineEdit::returnPressed, this, &TExcludeSpecForm::btnAddClick);
    connect(btnDel, &QPushButton::clicked, this, &TExcludeSpecForm::btnDelClick);
    connect(btnBrowse, &QPushButton::clicked, this, &TExcludeSpecForm::btnBrowseClick);
    connect(btnLoad, &QPushButton::clicked, this, &TExcludeSpecForm::btnLoadClick);
    connect(btnSave, &QPushButton::clicked, this, &TExcludeSpecForm::btnSaveClick);
    connect(btnOk, &QPushButton::clicked, this, &TExcludeSpecForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TExcludeSpecForm::reject);
}

std::vector<std::string> TExcludeSpecForm::Specs() const {
    std::vector<std::string> out;
    for (int i = 0; i < lbExSpec->count(); ++i)
        out.push_back(lbExSpec->item(i)->data(kSpecRole).toByteArray().toStdString());
    return out;
}

void TExcludeSpecForm::btnAddClick() {
    const std::string mask = edExSpec->text().toStdString();
    if (mask.empty()) return;
    for (const std::string& s : Specs())
        if (sameIgnoringCase(s, mask)) return;
    auto* item = new QListWidgetItem(edExSpec->text(), lbExSpec);
    item->setData(kSpecRole, QByteArray::fromStdString(mask));
    edExSpec->clear();
}

void TExcludeSpecForm::btnDelClick() {
    for (int i = lbExSpec->count() - 1; i >= 0; --i)
        if (lbExSpec->item(i)->isSelected()) delete lbExSpec->takeItem(i);
}

bool TExcludeSpecForm::LoadFrom(const std::string& path) {
    auto bytes = platform::readWholeFile(path);
    if (!bytes) return false;
    lbExSpec->clear();
    std::string line;
    auto flush = [&] {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        // A mask never holds a NUL; what a binary file has there is cut off.
        line = line.substr(0, line.find('\0'));
        if (!line.empty()) {
            auto* item = new QListWidgetItem(shown(line), lbExSpec);
            item->setData(kSpecRole, QByteArray::fromStdString(line));
        }
        line.clear();
    };
    for (unsigned char c : *bytes) {
        if (c == '\n')
            flush();
        else
            line += char(c);
    }
    flush();
    return true;
}

bool TExcludeSpecForm::SaveTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& s : Specs()) out << s << '\n';
    return bool(out.flush());
}

void TExcludeSpecForm::btnBrowseClick() {
    const QString f = QFileDialog::getOpenFileName(this, QString(), QDir::homePath());
    if (!f.isEmpty()) edExSpec->setText(f);
}

void TExcludeSpecForm::btnLoadClick() {
    const QString f =
        QFileDialog::getOpenFileName(this, QString(), QDir::homePath(), "Textfiles (*.txt);;*.* (*)");
    if (!f.isEmpty()) LoadFrom(f.toStdString());
}

void TExcludeSpecForm::btnSaveClick() {
    QFileDialog dlg(this);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix("txt");
    dlg.setNameFilter("Textfiles (*.txt)");
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        SaveTo(dlg.selectedFiles().first().toStdString());
}

void TExcludeSpecForm::btnOkClick() {
    FMain.FExcludeSpecs = Specs();
    accept();
}
