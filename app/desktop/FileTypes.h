// The archive file types the program offers to open from the desktop: the text a list shows
// and the extensions (comma-separated, as the registration and the settings keys take them).
// The association question and the preferences' file-type page list these same rows.
#pragma once
#include <array>

struct TFileTypeRow {
    const char* text;
    const char* exts;
};

inline constexpr std::array<TFileTypeRow, 15> kArchiveFileTypes{{
    {"Ace archives (*.ace)", ".ace"},
    {"Arc archives (*.arc)", ".arc"},
    {"Arj archives (*.arj)", ".arj"},
    {"BlakHole archives (*.bh)", ".bh"},
    {"Cabinet archives (*.cab)", ".cab"},
    {"GZip archives (*.gz)", ".gz"},
    {"Lha archives (*.lha, *.lzh)", ".lha,.lzh"},
    {"Jar archives (*.jar)", ".jar"},
    {"Game package archives (*.pak, *.pk3)", ".pak,.pk3"},
    {"Rar archives (*.rar)", ".rar"},
    {"Tarred archives (*.tar)", ".tar"},
    {"UU encoded archives (*.uue, *.uu, *.enc)", ".uue,.uu,.enc"},
    {"XX encoded archives (*.xxe)", ".xxe"},
    {"Zoo archives (*.z, *.zoo)", ".z,.zoo"},
    {"Zip archives (*.zip)", ".zip"},
}};

// The filters of the dialogs that choose archives to open or extract, in the order they offer
// them (the first is the one chosen at first).
inline constexpr std::array<const char*, 14> kArchiveOpenFilters{
    "All archives (*.zip *.rar *.jar *.ace *.arc *.arj *.cab *.gz *.lzh *.tar *.zoo *.lha *.bh)",
    "All archives and .exe files (*.zip *.rar *.jar *.ace *.arc *.arj *.cab *.gz *.exe *.lzh *.lha *.bh "
    "*.tar *.zoo)",
    "Zip files (*.zip)",
    "Arj files (*.arj)",
    "Ace files (*.ace)",
    "Arc files (*.arc)",
    "BlakHole files (*.bh)",
    "Cabinet files (*.cab)",
    "GZip files (*.gz)",
    "Jar files (*.jar)",
    "Lha files (*.lzh)",
    "Rar files (*.rar)",
    "Tar files (*.tar)",
    "Zoo files (*.zoo)",
};
