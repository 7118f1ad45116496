#include "app/OverwriteUnit.h"

#include "platform/ui_hooks.h"

std::string TOverwriteForm::QuestionText() const {
    return "Replace file:\n" + ReplaceFileText + "\n\nwith file:\n" + ReplaceWithFileText;
}

TOverwriteAnswer TOverwriteForm::ShowModal(bool& cancelled) {
    using platform::ModalResult;
    const ModalResult r = platform::messageBox(kCaption, QuestionText(), platform::MsgType::Confirmation,
                                               platform::mbYes | platform::mbYesToAll | platform::mbNo |
                                                   platform::mbNoToAll | platform::mbCancel);
    switch (r) {
    case ModalResult::Yes:
        Answer = oaYes;
        break;
    case ModalResult::YesToAll:
        Answer = oaYesToAll;
        break;
    case ModalResult::No:
        Answer = oaNo;
        break;
    case ModalResult::NoToAll:
        Answer = oaNoToAll;
        break;
    case ModalResult::Cancel:
        Answer = oaCancel;
        break;
    default:
        return Answer; // closed without a button
    }
    cancelled = Answer == oaCancel;
    return Answer;
}
