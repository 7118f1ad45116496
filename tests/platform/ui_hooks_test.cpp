#include "platform/ui_hooks.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(UiHooks, DefaultsAnswerWithoutBlocking) {
    EXPECT_EQ(messageBox("Question", "Go on?", MsgType::Confirmation, mbYes | mbNo), ModalResult::No);
    EXPECT_EQ(messageBox("Error", "Bad", MsgType::Error, mbOK), ModalResult::Ok);
    std::string v = "x";
    EXPECT_FALSE(askText("Password", "Enter password", v, true));
    EXPECT_EQ(fileTypeName("/tmp/a.zip"), "");
}

TEST(UiHooks, ScopedHooksScriptAnswersAndRestore) {
    {
        UiHooks h;
        h.messageBox = [](auto&, auto&, MsgType, unsigned) { return ModalResult::Yes; };
        ScopedUiHooks scoped(h);
        EXPECT_EQ(messageBox("Q", "?", MsgType::Confirmation, mbYes | mbNo), ModalResult::Yes);
    }
    EXPECT_EQ(messageBox("Q", "?", MsgType::Confirmation, mbYes | mbNo), ModalResult::No);
}
