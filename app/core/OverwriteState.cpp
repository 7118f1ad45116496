#include "app/core/OverwriteState.h"

#include "platform/ui_hooks.h"

std::string TOverwriteState::QuestionText() const {
    return "Replace file:\n" + ReplaceFileText + "\n\nwith file:\n" + ReplaceWithFileText;
}

void TOverwriteState::Choose(TOverwriteAnswer answer, bool& cancelled) {
    Answer = answer;
    cancelled = answer == oaCancel;
}

TOverwriteAnswer TOverwriteState::ShowModal(bool& cancelled) {
    using platform::ModalResult;
    const ModalResult r = platform::messageBox(kCaption, QuestionText(), platform::MsgType::Confirmation,
                                               platform::mbYes | platform::mbYesToAll | platform::mbNo |
                                                   platform::mbNoToAll | platform::mbCancel);
    switch (r) {
    case ModalResult::Yes:
        Choose(oaYes, cancelled);
        break;
    case ModalResult::YesToAll:
        Choose(oaYesToAll, cancelled);
        break;
    case ModalResult::No:
        Choose(oaNo, cancelled);
        break;
    case ModalResult::NoToAll:
        Choose(oaNoToAll, cancelled);
        break;
    case ModalResult::Cancel:
        Choose(oaCancel, cancelled);
        break;
    default:
        break; // closed without a button
    }
    return Answer;
}
