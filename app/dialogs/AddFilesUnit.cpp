#include "app/dialogs/AddFilesUnit.h"

#include <QFileDialog>

void TAddFilesForm::Run(TDialogHost& host, TMainCore::TAddChoice& choice) {
    const QStringList picked = QFileDialog::getOpenFileNames(host.Window(), "Add files");
    host.Core().FCancelled = picked.isEmpty();
    for (const QString& f : picked) choice.files.push_back(f.toStdString());
}
