// Settings files with the semantics of Windows private profiles: sections and keys match
// without regard to case, every write goes straight to the file, and lines the program
// does not know (comments, keys of other versions, blank lines) are kept as they are.
#pragma once
#include <string>
#include <vector>

class TIniFile {
public:
    // Reads the file when it exists; a missing file reads as empty and is created by the
    // first write (with its folder).
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Decimal text; anything else (or a missing key) gives `def`.
    long long ReadInteger(const std::string& section, const std::string& key, long long def) const;
    // A non-zero integer is true (as profile booleans are stored as 0/1).
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Each write saves the whole file; false when it could not be written.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, long long value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::vector<std::string> ReadSection(const std::string& section) const; // key names
    std::vector<std::string> ReadSections() const;
    bool DeleteKey(const std::string& section, const std::string& key);
    bool EraseSection(const std::string& section);

    // Reads the file again (another writer may have changed it).
    void Reload();

private:
    struct Line {
        std::string text;    // the line as stored
        std::string section; // set on a "[section]" line
        std::string key;     // set on a "key=value" line
        std::string value;
    };
    int FindSection(const std::string& section) const;          // index of its header line, -1
    int FindKey(int sectionLine, const std::string& key) const; // index of the key line, -1
    int SectionEnd(int sectionLine) const;                      // first line after the section
    bool Save() const;

    std::string FFileName;
    std::vector<Line> FLines;
};

// Where the program keeps its own files: $XDG_CONFIG_HOME/parvex/ (default
// ~/.config/parvex/), with a trailing '/'. The folder is created on demand.
std::string pvConfigFolder();

// The registry store: keys of the Windows registry that the program writes live in
// "registry.ini" in the config folder, one section per key path
// ("HKEY_CURRENT_USER\Software\...").
std::string pvRegistryFile();
inline constexpr const char* kRegistryAppKey = "HKEY_CURRENT_USER\\Software\\Tillsmere Software\\Parvex 2000";
