// The program's command line without any widget: the batch forms "-e" (extract) and "-a"
// (add), which run without a window and end with an exit status, the switch words the
// file manager's context menu passes, and the list file it leaves for them. The window's
// core carries them out (TMainCore::HandleParams, TMainCore::CommandLineMode); what can be
// decided without an archive is here, so tests reach it directly.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui_hooks.h"

// Exit statuses of the batch forms and of the switches that end the program.
enum TExitStatus : int { esDone = 0, esFailed = 1, esBadCommandLine = 2 };

// One "-e" or "-a" command line, its names made absolute.
struct TBatchCommand {
    char verb = 0;                  // 'e' or 'a'
    std::string group;              // the switch letters, lower-cased, without the '-'
    std::string archive;            //
    std::string folder;             // -e: the target folder, "" for the archive's own
    std::string listFile;           // -a with "s": the file that lists the names
    std::vector<std::string> files; // -a without "s": the names to add
    bool Has(char letter) const { return group.find(letter) != std::string::npos; }
};

// Reads a command line whose first word starts with '-'. The second word is the switch
// group only when it starts with '-' (an archive may well have a '-' inside its name).
// Relative names are taken from `cwd`. False with `error` for a command line that cannot
// be run: an unknown verb or letter, no archive, no file to add, words left over.
bool ParseBatchCommand(const std::vector<std::string>& params, const std::string& cwd, TBatchCommand& cmd,
                       std::string& error);

// The line that tells how the batch forms are written.
const char* BatchUsage();

// Message boxes of a run without a window: each is written to `err` as "Caption: text"
// and answered at once with the default answer (so an existing file is kept and no
// password is given); passwords and other questions are never answered.
platform::UiHooks BatchUiHooks(std::ostream& err);

// `name` made absolute against `cwd`, with "." and ".." resolved by name.
std::string AbsoluteName(const std::string& name, const std::string& cwd);

// The switch words, lower-cased; "" when `word` is none of them.
std::string ShellSwitch(const std::string& word);

// Reads the list file the context menu leaves ("shextdat.par"): a count, then that many
// full paths, lines ending in CR LF or LF. Names that do not exist are dropped. False
// with `error` for a damaged file (unreadable, a count that is not a positive number,
// fewer or more lines than it says, nothing left).
bool ReadShellList(const std::string& file, std::vector<std::string>& names, std::string& error);

// The folder "/pvsef" extracts into: the archive's path with its file name cut before the
// first '.' ("dir.v2/pack.old.zip" -> "dir.v2/pack"); "" when that leaves no name.
std::string FolderBeforeFirstDot(const std::string& archive);
