// The engine's message table: numbers and their English texts, exactly as shown to users.
#pragma once
#include <span>
#include <string>
#include <string_view>

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
