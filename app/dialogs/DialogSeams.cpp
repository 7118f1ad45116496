#include "app/dialogs/DialogSeams.h"

TDialogSeams& DialogSeams() {
    static TDialogSeams seams;
    return seams;
}

bool FillDialogSeam(const std::function<void(TDialogSeams&)>& fill) {
    fill(DialogSeams());
    return true;
}
