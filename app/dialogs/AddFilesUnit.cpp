#include "app/dialogs/AddFilesUnit.h"

#include <QFileDialog>

#include "app/window/MainUnit.h"

void TAddFilesForm::Run(TMainForm& owner, TMainCore::TAddChoice& choice) {
    const QStringList picked = QFileDialog::getOpenFileNames(&owner, "Add files");
    owner.FCancelled = picked.isEmpty();
    for (const QString& f : picked) choice.files.push_back(f.toStdString());
}
