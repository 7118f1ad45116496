// The least add dialog: the files and folders to add and the options the add command
// reads. The add wizard replaces it through its seam (DialogSeams.h).
#pragma once
#include <QDialog>

#include "app/core/MainCore.h"
#include "app/dialogs/DialogHost.h"

class TAddFilesForm {
public:
    // Shows the dialog; OK fills `choice` and clears FCancelled, Cancel sets it.
    static void Run(TDialogHost& host, TMainCore::TAddChoice& choice);
};
