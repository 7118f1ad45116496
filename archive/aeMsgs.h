// The engine's message table: numbers and their English texts, exactly as shown to users.
#pragma once
#include <span>
#include <string>
#include <string_view>

// Names of the message numbers the engine raises and reports.
enum : int {
    kMsgBadFileHeader = 25110,
    kMsgIncorrectBits = 25134,
    kMsgBrokenChain = 25135,
    kMsgWriteError = 25136,
    kMsgCloseError = 25137,
    kMsgFailsCrc = 25151,
    kMsgNoDiskIds = 25154,
    kMsgNoRoom = 25155,
    kMsgCannotCreateDir = 25156,
    kMsgNotAccessible = 25160,
    kMsgEolNotFound = 25168,
    kMsgSameInputOutput = 25171,
    kMsgFileNotFound = 25172,
    kMsgOpenError = 25235,
    kMsgReadError = 25236,
    kMsgHeaderCrc = 25237,
    kMsgHeaderId = 25238,
    kMsgLineBeforeBegin = 25240,
    kMsgBadArcType = 25242,
    kMsgInvalidName = 25243,
    kMsgInconsistentLocal = 25248,
    kMsgMaxVolumes = 25250,
    kMsgOutOfMemory = 25253,
    kMsgEventMissing = 25270,
    kMsgUnsupportedMethod = 25326,
    kMsgUnknownType = 25327,
    kMsgVersionError = 25402,
    kMsgUserCanceled = 25449,
    kMsgInvalidPassword = 26517,
    kMsgPasswordFailed = 26522,
    kMsgNothingToDo = 26859,
    kMsgDirMissing = 26899,
};

struct TAeMessage {
    int Number;
    std::string_view Text;
};

// Every message of the engine, sorted by number.
std::span<const TAeMessage> AeMessages();
// The text of message Number; empty when the engine has no such message.
std::string_view AeMessageText(int Number);
bool AeHasMessage(int Number);
// The text, or "Error <Number>" for a number the table does not hold (never empty).
std::string AeMessageString(int Number);
