// hexedit FILE: shows FILE read-only as hex and text.
#include <QApplication>
#include <QMessageBox>

#include "stubs/hexedit/HexView.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hexedit"));
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        QMessageBox::warning(nullptr, QStringLiteral("hexedit"), QStringLiteral("Usage: hexedit FILE"));
        return 2;
    }
    hexedit::HexWindow window;
    QString error;
    if (!window.OpenFile(args[1], error)) {
        QMessageBox::critical(nullptr, QStringLiteral("hexedit"),
                              QStringLiteral("Cannot open %1:\n%2").arg(args[1], error));
        return 1;
    }
    window.show();
    return QApplication::exec();
}
