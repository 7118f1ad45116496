// The dialogs the main window opens on demand, reached through one seam each.
//
// A seam is a plain function that creates its dialog over the window, shows it modally and
// frees it; the dialog reads and writes the core's public fields (FCancelled and the rest),
// as every dialog does, and reaches the window only through its host (DialogHost.h). The
// dialog's own unit fills its seam when the program starts, with one line at namespace scope:
//
//     static const bool registered = FillDialogSeam([](TDialogSeams& s) {
//         s.Comment = [](TDialogHost& host) {
//             TCommentForm dlg(host.Core(), host.Window());
//             dlg.exec();
//         };
//     });
//
// While a seam is empty the window disables the command that would open it; a seam filled
// later (tests do) enables it at the window's next update of its commands.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/core/MainCore.h"
#include "app/dialogs/DialogHost.h"

struct TDialogSeams {
    using TShow = std::function<void(TDialogHost& host)>;

    // Add: the add dialog. OK fills `choice` (files, action, level, span, the path boxes)
    // and clears FCancelled; Cancel sets FCancelled.
    std::function<void(TDialogHost& host, TMainCore::TAddChoice& choice)> AddWizard;
    TShow Comment;    // the archive comment editor (it writes the comment itself)
    TShow ItemRename; // the new name of the selected entry: FNewItemName, FCancelled
    TShow Properties; // the archive's properties and information
    std::function<void(TDialogHost& host, int mode)> CopyMove; // 0 copy, 1 move the archive file
    TShow TestOutput;  // the test window: tests the open archive and shows what was said
    TShow Convert;     // archive conversion
    TShow UUEncode;    // UU/XX encoding
    TShow Checkout;    // check-out: extract and make shortcuts
    TShow FindFiles;   // find in the list
    TShow Mail;        // mailing the archive through the internal client
    TShow Association; // the question about the zip file-type association
    // Files dropped on the window (or handed over by the desktop): the drop dialog, then the
    // add into the archive it created or opened.
    std::function<void(TDialogHost& host, const std::vector<std::string>& paths)> FileDrop;
};

// The program's one set of seams.
TDialogSeams& DialogSeams();

// Runs `fill` on the seams and returns true; for the static registration above.
bool FillDialogSeam(const std::function<void(TDialogSeams&)>& fill);
