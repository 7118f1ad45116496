// Loading a shared library by file name, as the program loads its outside libraries.
// The program spells one library in several cases ("ZIPDLL.DLL", "zipdll.dll"), so the
// file name is matched case-insensitively within each folder searched.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Folder of the running program (no trailing '/').
std::string programDir();
// The program's library folder: <program folder>/../lib.
std::string programLibDir();

// The path of the file in `folder` whose name equals `fileName` ignoring ASCII case
// (an exact match wins); empty when there is none.
std::string findFileNoCase(const std::string& folder, const std::string& fileName);

// Where loadLibrary looks, in order: `firstDir` (when not empty), beside the program,
// the program's library folder.
std::vector<std::string> librarySearchPath(const std::string& firstDir);

class DynLib {
public:
    DynLib() = default;
    ~DynLib() { unload(); }
    DynLib(const DynLib&) = delete;
    DynLib& operator=(const DynLib&) = delete;

    // Loads `fileName` from the first folder of the search path that holds it. False
    // (with error() set) when no folder has it or the loader refuses it.
    bool load(const std::string& fileName, const std::string& firstDir = {});
    void unload();
    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const;
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string path_, error_;
};

} // namespace platform
