// The engine's messages. Texts are shown to users and matched by callers and tests exactly
// as they stand here (spelling included).
#include "archive/aeMsgs.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array kMessages = std::to_array<TAeMessage>({
    {25110, "Bad file header"},
    {25111, "Bad block"},
    {25120, "Bad Huffman code"},
    {25134, "Incorrect number of bits"},
    {25135, "Broken multi-volume chain"},
    {25136, "Error writing to file"},
    {25137, "Error closing file"},
    {25138, "Incomplete code set"},
    {25139, "Corrupt input"},
    {25151, "File fails CRC check"},
    {25152, "File contains invalid decode tree"},
    {25153, "Error writing spanned-disk label"},
    {25154, "Disks contains neither label nor serial numbers to compare"},
    {25155, "Not enough disk space"},
    {25156, "Unable to create directory"},
    {25159, "Disk full"},
    {25160, "is not accessible."},
    {25161, "EOF not found"},
    {25167, "Unexpected end of line"},
    {25168, "EOL not found"},
    {25171, "Same input and output file-names"},
    {25172, "File not found"},
    {25235, "Error opening file"},
    {25236, "Error reading file or unexpected end of file"},
    {25237, "Header CRC error"},
    {25238, "Header ID error"},
    {25240, "Line found before 'BEGIN'"},
    {25242, "Invalid or unsupported archive type for this operation"},
    {25243, "Invalid file name"},
    {25247, "Bad lengths"},
    {25248, "Inconsistant local header"},
    {25250, "Maximum volumes 999"},
    {25253, "Out of memory"},
    {25260, "Unrar.dll not found"},
    {25261, "Cabinet.dll not found"},
    {25262, "Ace.dll not found"},
    {25264, "Multi-Part GZIP files not supported"},
    {25270, "Required event not assigned"},
    {25290, "Password protected"},
    {25293, "Ambiguous Shannon-Fano decode tree encountered"},
    {25298, "Stack overflow"},
    {25326, "Unsupported compression method"},
    {25327, "Unknown file type"},
    {25402, "Version error"},
    {25449, "User canceled"},
    {26517, "Invalid password"},
    {26522, "Password failed"},
    {26859, "Nothing to do"},
    {26899, "Directory does not exist... Create?"},
});

constexpr bool sortedByNumber() {
    for (size_t i = 1; i < kMessages.size(); ++i)
        if (kMessages[i - 1].Number >= kMessages[i].Number) return false;
    return true;
}
static_assert(sortedByNumber(), "lookup relies on ascending numbers");

} // namespace

std::span<const TAeMessage> AeMessages() {
    return kMessages;
}

std::string_view AeMessageText(int Number) {
    auto it = std::lower_bound(kMessages.begin(), kMessages.end(), Number,
                               [](const TAeMessage& m, int n) { return m.Number < n; });
    return it != kMessages.end() && it->Number == Number ? it->Text : std::string_view{};
}

bool AeHasMessage(int Number) {
    return !AeMessageText(Number).empty();
}

std::string AeMessageString(int Number) {
    auto text = AeMessageText(Number);
    return text.empty() ? "Error " + std::to_string(Number) : std::string(text);
}
