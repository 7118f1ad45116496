// The main window's state and logic without any widget: the public fields through which
// the dialogs talk to the window, settings and history, opening, creating and closing
// archives, the rows of the file list with their sorting and selection, the status-bar
// texts and which commands are enabled. The Qt window (MainUnit) derives from it and
// mirrors this state in its widgets through the virtual notifications below.
#pragma once
#include <array>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/core/ArchiveBackends.h"
#include "app/core/IniFile.h"
#include "app/core/OverwriteState.h"

// One row of the file list. `StoredName` is the entry's name as the archive stores it;
// every command acts on it, whatever the shown caption looks like.
struct TListRow {
    std::string Caption;                 // column 0
    std::array<std::string, 7> SubItems; // columns 1..7
    std::string StoredName;
    int64_t Size = 0;
    int64_t Packed = 0;
    double Date = 0;
    std::string Path;
    uint32_t CRC = 0;
    uint32_t Attr = 0;
    int ImageIndex = -1;
    int Order = 0;                  // position in the archive, the last tie-breaker of sorting
    std::string SortName, SortPath; // lower-cased caption and path, the sort keys
    bool Selected = false;
    bool Focused = false;
};

// Which component holds the open archive: the zip front-end (zip and self-extracting
// archives) or the engine's lister (every other type).
enum THandlerKind : int { hkNone = 0, hkZipFront = 1, hkLister = 2 };

// Packers of a newly created or opened non-zip archive (the type table's packer kinds).
enum class TPackerId { None = 0, Bh = 1, Cab = 2, GZip = 3, Jar = 4, Lha = 5, Tar = 6 };

// The dialogs' choices the window keeps in plain integer fields (the dialogs and the
// settings store the numbers): what the delete dialog deletes (FDeleteMode), where the
// multi-extract dialog puts each archive (FMultiExtMode), which viewer View starts
// (FViewerKind, "View" in the settings).
enum TDeleteMode : int { dmSelected = 1, dmAll = 2, dmMask = 3 };
enum TMultiExtMode : int {
    meInFolder = 0,      // every archive into the chosen folder
    meSubFolder = 1,     // a folder named after the archive in the chosen folder
    meBesideArchive = 2, // the archive's own folder
    meFolderBeside = 3,  // a folder named after the archive beside it
};
enum TViewerKind : int { vkTextViewer = 2, vkProgram = 3 };

// Images of the list: what each entry of `SImages` shows.
struct TImageKey {
    enum Kind { Program, Archive, Generic, Themed } kind = Generic;
    std::string iconName; // the desktop's icon name for Themed
};

// What the progress window shows; the window mirrors it (StatChanged).
struct TStatState {
    bool Visible = false;
    std::string Caption = "Status...";
    std::string Header = "Extracting...";
    std::string Current = "Current file :";
    int Gauge1 = 0, Gauge2 = 0; // 0..100
    // Files the zip front-end wrote in the running extraction that did not exist before
    // it, where it says it wrote them; Cancel deletes them.
    std::vector<std::string> FileNames;
};

// What EnableItems turns on: the archive was just created or opened (Properties, Create
// shortcut), the zip-only tools, the items of any open archive, the writing items (Delete,
// Add); `disableAll` turns every one of them off first.
struct TItemState {
    bool created = false;
    bool opened = false;
    bool zipTools = false;
    bool archiveItems = false;
    bool writable = false;
    bool disableAll = false;
};

// Names of the commands whose state EnableItems sets (menu, popup and button share one).
namespace cmd {
inline constexpr const char* Extract = "Extract";
inline constexpr const char* ExtractTo = "ExtractTo";
inline constexpr const char* ExtractHere = "ExtractHere";
inline constexpr const char* ExtractFav = "ExtractFav";
inline constexpr const char* MailArchive = "MailArchive";
inline constexpr const char* FindFiles = "FindFiles";
inline constexpr const char* UUEncode = "UUEncode";
inline constexpr const char* Checkout = "Checkout";
inline constexpr const char* OpenItem = "OpenItem";
inline constexpr const char* View = "View";
inline constexpr const char* Test = "Test";
inline constexpr const char* SelectAll = "SelectAll";
inline constexpr const char* DeselectAll = "DeselectAll";
inline constexpr const char* InvertSelection = "InvertSelection";
inline constexpr const char* DeleteArchive = "DeleteArchive";
inline constexpr const char* CloseArchive = "CloseArchive";
inline constexpr const char* CopyArchive = "CopyArchive";
inline constexpr const char* MoveArchive = "MoveArchive";
inline constexpr const char* RenameArchive = "RenameArchive";
inline constexpr const char* ExeToZip = "ExeToZip";
inline constexpr const char* MakeExe = "MakeExe";
inline constexpr const char* Comment = "Comment";
inline constexpr const char* Rename = "Rename";
inline constexpr const char* WriteZipSpan = "WriteZipSpan";
inline constexpr const char* Delete = "Delete";
inline constexpr const char* Add = "Add";
inline constexpr const char* Properties = "Properties";
inline constexpr const char* CreateShortcut = "CreateShortcut";
inline constexpr const char* Install = "Install";
} // namespace cmd

// One settings key that the window keeps in a field: where the settings file holds it,
// how it is stored, its default, and whether shut-down writes it back.
struct TSettingKey {
    enum TKind {
        skFlag,    // text "1" or "0", set only when it reads "1"
        skNumber,  // a number, set when not 0 (written as 1 or 0)
        skInteger, // a number
        skString,  // text
        skFolder,  // text whose default is the home folder
    };
    const char* section;
    const char* key;
    TKind kind;
    const char* def;
    bool saved;
    std::variant<bool*, int*, std::string*> field;
};

class TMainCore {
public:
    TMainCore(std::unique_ptr<TZipBackend> zip, std::unique_ptr<TListerBackend> lister);
    virtual ~TMainCore();
    TMainCore(const TMainCore&) = delete;
    TMainCore& operator=(const TMainCore&) = delete;

    // ---- Public fields (the dialogs read and write these) ----
    std::string FArchiveFile;
    bool FArchiveOpen = false;
    std::string FArchiveName;
    std::string FArchiveDrive;
    THandlerKind FHandlerKind = hkNone; // which component holds the open archive
    bool FIsExeArchive = false;
    TPackerId FPacker = TPackerId::None; // the packer of a non-zip archive, None for zip
    int FNewArchiveKind = 0;
    bool FCancelled = false;
    std::string FArchivePassword;
    bool FUsePassword = false;
    bool FAskPassword = false;
    std::string FExtractTarget;
    bool FExtDirNames = false, FExtOverwrite = false, FExtSelectedOnly = false, FExtSkipOlder = false;
    bool FExtTest = false;
    bool FSfxAccepted = false;
    std::string FOpenFolder, FExtractFolder, FTempFolder, FFavFolder;
    std::string FWorkTempFolder;
    std::string FProgramFolder; // with trailing '/'
    std::string FSystemFolder;  // the program's library folder (stands in for the system folder)
    std::string FDllFolder;     // where the zip libraries are loaded from
    bool FOpenLast = true, FExtractLast = true, FDefaultTemp = true;
    bool FOptZipDirs = true, FOptOverwrite = true, FOptUpdate = true, FOptTest = true;
    bool FGridLines = false, FRowSelect = false, FSingleClick = true, FMousePoint = true,
         FAlwaysUnder = false;
    int FPackRate = 7;
    int FViewerKind = 2;
    std::string FViewerProgram;
    bool FInternalMail = true;
    std::string FMailHost, FMailUserID, FMailName, FMailAddress;
    int FWindowHeight = 471, FWindowWidth = 593, FWindowTop = 100, FWindowLeft = 100;
    bool FToolbarShown = true, FStatusBarShown = true;
    // Size, Packed, Ratio, Date, CRC, Attributes, Path
    std::array<bool, 7> FColumnShown{true, true, true, true, true, true, true};
    bool FCheckNewVersion = true;
    std::string FToolbarDocked = "pvDockTop";
    int FToolbarLeft = 0, FToolbarTop = 0;
    int FPlatform = 2;
    std::array<std::string, 6> FOpenHistory; // 1..5, newest first; [0] unused
    std::array<std::string, 6> FExtHistory;  // 1..5
    int FAddAction = 0;
    int FCompressMethod = 0, FDeflateType = 0, FPackerSwitch = 0;
    std::vector<std::string> FAddFiles, FExcludeSpecs, FShellFiles;
    bool FAddFolderWildcard = false;
    bool FSpanExisting = false;
    int FSpanSizeKB = 0;
    int FDeleteMode = 0;
    std::string FNewItemName;
    std::string FMultiExtFolder;
    int FMultiExtMode = 0;
    bool FMultiExtOverwrite = false, FMultiExtDirNames = false, FMultiExtSkipOlder = false;
    int FMultiExtCount = 0, FMultiExtIndex = 0;
    bool FMultiExtRunning = false;
    bool FSpecialExtractRunning = false;
    bool FTestRunning = false;
    bool FListBusy = false;
    int FSortColumn = 0;
    bool FSortDescending = false;
    // A run without a window (the batch forms, and the switches run without a display): no
    // question is asked, and each problem is said once, in one line (BatchSay).
    bool FCommandLineMode = false;
    std::set<std::string> FBatchSaid;
    int FBatchKept = 0;                 // existing files a run without a window left as they were
    bool FBatchPasswordRefused = false; // the library's next message is that entry's skip
    bool FInstallerPresent = false;
    int FInstallerRow = -1;
    int64_t FArchiveSize = 0, FArchivePacked = 0, FTotalSize = 0, FTotalPacked = 0, FSelectedSize = 0;
    int FCurrentFileNo = 0;
    int64_t FCurrentFileSize = 0, FCurrentFileDone = 0, FBatchSize = 0, FBatchDone = 0;
    // Files extracted for viewing; deleted when the archive closes and at shut-down.
    std::vector<std::string> ViewList;
    // The hex viewer program ([Settings] HexViewer); "" = "hexedit" in the program folder.
    std::string FHexViewer;

    // The progress window and the overwrite question, alive as long as the window.
    TStatState StatForm;
    TOverwriteState OverwriteForm;
    // Creates the engine's extractor for a type (the engine's ordinal); tests may replace it.
    std::function<std::unique_ptr<TExtractorBackend>(int arcType)> ExtractorFactory;
    // Creates the engine's packer of a kind (TPackerId numbers); tests may replace it.
    std::function<std::unique_ptr<TPackerBackend>(int packerKind)> PackerFactory;
    // What the components said while the test window runs; that window shows it and its
    // count of errors.
    std::vector<std::string> TestOutput;
    int TestErrorCount = 0;

    // ---- What the widgets show ----
    std::vector<TListRow> Rows;
    std::vector<TImageKey> SImages;
    std::vector<std::pair<std::string, int>> ExtIconCache; // (lower-case ".ext", image index)
    std::vector<std::string> StatusPanels{"Welcome to Parvex 2000"};
    std::string Caption = "Parvex 2000";
    std::map<std::string, bool> ItemEnabled;
    bool SetupShown = false; // the Install button
    int SetupSeparatorWidth = 142;
    bool AllEnabled = true;   // DisableAll/EnableAll
    int CheckedSortItem = -1; // 0..5 "by Name".."by Path", -1 none
    std::string ExtractToCaption = "Extract to <\\zfname>";
    std::string ExtractHereCaption = "Extract to <\\>";

    TZipBackend* ZipFront() { return FZip.get(); }
    TListerBackend* ArcLister() { return FLister.get(); }
    TIniFile* Settings() { return FIni.get(); }

    // ---- Start-up and shut-down ----
    // programPath: the program file (its folder holds the zip libraries).
    void FormCreate(const std::string& programPath);
    void LoadSettings();
    // Every settings key with the field it fills; LoadSettings and SaveStatesToReg go by it.
    std::vector<TSettingKey> SettingsTable();
    void LoadHistory();
    void SaveStatesToReg();
    void WriteEDir();
    void FormDestroy();
    static std::string AppendSlash(const std::string& path);
    // The command-line parameters: an archive to open, a batch form ("-e", "-a") or one of
    // the file manager's switch words (CommandLine.h). Switches that end the program's
    // work call CloseMainWindow with their exit status.
    void HandleParams(const std::vector<std::string>& params);
    // The batch forms "-e" and "-a" without a window; returns the exit status (TExitStatus).
    int CommandLineMode(const std::vector<std::string>& params);
    // Set when the parameters' work ended the run, with the status the program exits with.
    bool FCloseRequested = false;
    int FExitStatus = 0;
    // In a run without a window: says `text` as one line on standard error (through the
    // message hook), once however often the run meets it. Elsewhere it does nothing.
    void BatchSay(const std::string& text);
    // Says how many existing files the run kept, when it kept any.
    void SayKept();
    // Ends the run after a switch's work; the window closes itself as well.
    virtual void CloseMainWindow(int status);
    // The extract dialog and the extraction it asks for, for the "/pvset" switch; true when
    // it extracted without a failure. The bare core has no dialog.
    virtual bool ExtractDialogRoad() { return false; }

    // ---- Files dropped on the window ----
    // What the file-drop dialog chose; it has opened or created the target archive.
    struct TFileDropChoice {
        bool accepted = false;
        int levelIndex = 1; // the level combo: 0 -> 9, 1 -> 7, 2 -> 5, 3 -> 3, else 0
        int span = 0;       // the span combo
        bool fullPaths = false, recurse = true, forceDOS = false;
    };
    // Shows the file-drop dialog over FShellFiles. The core's own is the least one: a
    // question whether to add them to the open archive, or else to a new zip named after
    // the first name; Yes creates that zip.
    virtual TFileDropChoice ShowFileDropForm();
    // Dropped names: one archive may be opened instead (after the question), every other
    // drop goes to AddDroppedFiles.
    void DropFiles(const std::vector<std::string>& names);
    // Adds FShellFiles to the archive the file-drop dialog chose; FShellFiles is emptied.
    // The window hands them to its full drop dialog when it has one.
    virtual bool AddDroppedFiles();
    // The name has the extension of a kind of archive the window opens.
    static bool IsArchiveExt(const std::string& name);

    // ---- Dragging rows out ----
    // Starts a drag of the selected rows: a new private folder for it and the paths the
    // drag announces there (a row's first folder when it has one and folder names are
    // kept, each once; else its name). Empty when nothing can be dragged.
    std::vector<std::string> BeginDragOut();
    // The target takes the files: the selected rows are extracted into the drag's folder,
    // so the announced paths exist; false when that failed.
    bool dsMainDragDrop();
    std::string FDragFolder; // the running drag's folder, with a trailing '/'

    // ---- Archives ----
    void OpenArchive(const std::string& path);
    void CreateArchive(std::string path, int archiveKind);
    void CloseArchive();
    void OpenWithLister(const std::string& path);
    void CloseLister();
    void ShowTotals();
    bool SelectPacker();
    bool SelectUnpacker();

    // ---- Commands after their dialogs ----
    void OpenChosenFile(const std::string& path); // Open
    // New, filter 1..6; `confirmed`: the user already agreed to replace an existing file.
    void NewArchiveChosen(const std::string& path, int filterIndex, bool confirmed = false);
    void OpenHistoryItem(int index); // Item1..Item5
    void AddOpenHistory(const std::string& path);
    void AddExtHistory(const std::string& path);
    // Rebuilds the Open history menu from FOpenHistory (after a caller changed it).
    void OpenMenuUpdate() { HistoryChanged(); }

    // ---- The list ----
    void GridAdd();
    void GridDel();
    void GetImgList();
    // -1 when the extension already has its image, else the index of the new image.
    int GetExtIconIndex(const std::string& ext);
    int CompareFiles(const TListRow& a, const TListRow& b) const;
    void SortRows();
    void ZipListColumnClick(int column);
    void SortItemClick(int item); // "by Name" 0 .. "by Path" 5
    void ZipListSelectItem(int row, bool selected);
    // Gives every row the selected state `wanted` says (the find dialog's result).
    void SelectRows(const std::vector<bool>& wanted) { ApplySelection(wanted); }
    void mmiSelAllClick();
    void mmiDeSelAllClick();
    void mmiInvSelClick();
    int SelectedCount() const;

    // ---- Menus ----
    void EnableItems(const TItemState& state);
    void DisableAll();
    void EnableAll();
    void InitExtraMenus();
    bool IsEnabled(const std::string& item) const;

    // ---- Component events ----
    void pvZipFrontDirUpdate();
    void pvZipFrontMessage(int errCode, const std::string& message);
    void pvArcListerActivate();
    void pvArcListerRead(const TListEntry& entry);
    void pvArcListerTotals(int numFiles);
    void pvArcListerDeactivate();
    void pvError(const std::string& fileName, int code, const std::string& text);

    std::string TotalsText(int64_t count, int64_t unpacked, int64_t packed) const;

    // ---- Extraction and viewing ----
    // Extracts all rows or the selected ones into `folder`; true when the run succeeded
    // (every entry it handled passed), and the status bar says so or shows the error.
    bool ExtractCore(bool selectedOnly, bool dirNames, const std::string& folder, bool skipOlder,
                     bool overwrite);
    // Why nothing can be written into `folder` (or, while it is missing, into the nearest
    // folder above it that exists): the system's reason, "" when it can be written.
    static std::string FolderWriteProblem(const std::string& folder);
    // False, after an error box naming the folder and the reason, when `folder` cannot be
    // written; every extraction asks this before it starts.
    bool CheckTargetFolder(const std::string& folder);
    // After the extract dialog closed: history, then the extraction it asked for; true when
    // that extraction ran and succeeded.
    bool ExtractDialogDone();
    void EItemClick(int index);          // extract-history item 1..5
    void mmiFilenameClick();             // "Extract to <name>"
    std::string ExtractToFolder() const; // its folder: beside the archive, named after it
    void mmiExtSameDirClick();           // the archive's folder
    void mmiFavouriteClick();
    // After the multi-extract dialog: every archive in turn.
    void MultiExtract(const std::vector<std::string>& archives);
    void tbSetuplClick(); // Install
    void ZipListDblClick();
    void ZipListClick();
    void mmiViewClick();
    void ViewWithNotepad(const std::string& file);
    // The desktop has a default application for files with this extension (".txt").
    bool IsExtRegistered(const std::string& ext) const;
    // The private temporary folder of this run (made on first use, removed at shut-down).
    std::string PrivateTempFolder();

    // ---- Component events of extraction ----
    void pvZipFrontProgress(int type, const std::string& name, int64_t size);
    void pvZipFrontExtractOverwrite(const std::string& forFile, bool isOlder, bool& doOverwrite);
    // An entry of the running zip extraction is in place at `path`.
    void pvZipFrontFileWritten(const std::string& path, bool replaced);
    void aeUnActivate();
    void aeBegin(const std::string& name);
    void aeUnProgress(int byFile, int byArchive);
    void aeUnFileExists(const std::string& name, double fileDate, bool& overwrite);
    void aeUnDeactivate();
    void aeUnEnd(const std::string& name, bool passed);
    void aeError(const std::string& name, int code, const std::string& text);
    // The progress window's Cancel.
    void StatCancelClick();

    // ---- Component events: passwords, volumes, errors, packers ----
    void pvZipFrontPasswordError(std::string& newPassword, const std::string& forFile, uint32_t& repeatCount);
    void pvZipFrontCRC32Error(const std::string& forFile, bool& doExtract);
    void aeUnGetPassword(const std::string& name, bool& tryAgain, std::string& password);
    void aeNextVolume(std::string& volumeName, bool& cancel, bool exists, const std::string& volumeID);
    void pvGzipActivate();
    void pvGzipDeactivate();
    void pvCabError(const std::string& name, int code, const std::string& volumeID,
                    const std::string& message);
    void pvCabGetNextCabinet(std::string& name, bool& cancel);
    // The handlers of the components' events, bound as the window answers them; every
    // component the window runs goes through one of these.
    void BindComponentEvents(TZipBackend& zip);
    void BindComponentEvents(TListerBackend& lister);
    void BindComponentEvents(TExtractorBackend& extractor);
    void BindComponentEvents(TPackerBackend& packer);

    // ---- Spanning ----
    // Re-writes the open zip archive as a spanned set of FSpanSizeKB volumes and opens its
    // last part. The archive is moved aside to a free name first and comes back, open,
    // when anything fails.
    enum TSpanResult { srDone, srNotMoved, srNotWritten };
    TSpanResult GoUserSpan();
    // The file name of part `number` of a set written from `archive` ("a/b.zip", 3 ->
    // "a/b003.zip").
    static std::string SpanPartName(const std::string& archive, int number);

    // ---- Adding, deleting and the other archive commands ----
    // The add dialog's level combo (0..4) as a compression level: 9, 7, 5, 3, else 0.
    static int LevelFromIndex(int index);
    // The longest leading folder (with its trailing '/') that holds every line of FAddFiles,
    // compared folder by folder; "" without lines.
    std::string CommonRootDir() const;
    // How the add command writes FAddFiles; the defaults are a plain add at the best level.
    // Whether folders are recursed is decided by the lines themselves.
    struct TAddRequest {
        int action = 0;         // 0 add, 1 update, 2 freshen, 3 move
        int span = 0;           // zip: 1 span, 2 span and erase the disk first; else none
        std::string password{}; // empty: not encrypted; cut to 255 characters
        bool forceDOS = false;  // zip: 8.3 names
        bool hidden = false;    // zip: hidden and system files too
        bool fullPaths = false; // engine archives: absolute paths without the drive
        bool relPaths = true;   // paths relative to the lines' common folder
        int level = 9;          // zip: the compression level, 0 stores
    };
    // Adds FAddFiles to the open archive as `request` says; FAddFiles is emptied. True when
    // files were added.
    bool AddCore(const TAddRequest& request);
    // What the add dialog hands the add command.
    struct TAddChoice {
        std::vector<std::string> files;
        int action = 0, level = 0, span = 3; // span: the dialog's row, 3 "No spanning"
        bool fullPaths = false, recurse = true, forceDOS = false;
    };
    // The add command after its dialog closed with OK (FCancelled clear).
    void AddChosen(const TAddChoice& choice);
    // Deletes the rows FDeleteMode picks (1 selected, 2 all, 3 those whose name matches
    // `mask`); FAddFiles is emptied. True when the archive changed.
    bool DeleteCore(bool fromPopup, const std::string& mask = "*.*");
    void pmiDeleteSelectedClick();
    void pmiDeleteAllClick();
    // Whether a row's name (its caption) matches a mask the user typed: the one rule of
    // find and delete by mask ('*', '?', letter case ignored, "*.*" matches every name).
    static bool RowMatchesMask(const TListRow& row, const std::string& mask);
    // The self-extractor dialog's answers; the ".exe" is opened after success.
    struct TExeChoice {
        int overwriteMode = 0;
        bool askCmdLine = false, askFiles = false, hideOverwriteBox = false;
        std::string defaultDir, commandLine, caption;
    };
    bool MakeExeCore(const TExeChoice& choice);
    // The open ".exe" back to a ".zip", which is opened after success.
    bool ExeToZipCore();
    // Gives the selected row's entry the name `newName` in its folder (FNewItemName).
    bool RenameEntryCore(const std::string& newName);
    // The packers' and extractors' rename event: the name becomes "/" + FNewItemName.
    void aeOnRename(std::string& name);
    // The zip comment of the open archive, and writing a new one.
    std::string ArchiveComment() const;
    bool SaveArchiveComment(const std::string& comment);
    // How many list updates are open (0 when the list shows what Rows holds).
    int ListUpdateDepth() const { return FListUpdateDepth; }
    // Moves the open archive to the trash and closes it.
    bool DeleteArchiveCore();
    // Renames the open archive in its folder (an existing name is refused) and reopens it.
    bool RenameArchiveCore(const std::string& newName);

protected:
    // Notifications for the widgets; the bare core ignores them.
    virtual void BeginListUpdate() { ++FListUpdateDepth; }
    virtual void EndListUpdate() {
        if (FListUpdateDepth > 0) --FListUpdateDepth;
    }
    virtual void RowsChanged() {}
    virtual void StatusChanged() {}
    virtual void CaptionChanged() {}
    virtual void ItemsChanged() {}
    virtual void HistoryChanged() {}
    virtual void ImagesChanged() {}
    virtual void SortChanged() {}
    virtual void StatChanged() {}
    // Asks the overwrite question about OverwriteForm's two files and returns its answer,
    // setting FCancelled as the answer says. The core asks with a message box; the window
    // shows its dialog.
    // A run without a window asks nothing: the existing file is kept (and counted).
    virtual TOverwriteAnswer AskOverwrite() {
        if (!FCommandLineMode) return OverwriteForm.ShowModal(FCancelled);
        ++FBatchKept;
        return OverwriteForm.Answer = oaNo;
    }
    // Shows the password dialog in ask mode (FAskPassword is set): OK stores the text in
    // FArchivePassword and clears FCancelled, Cancel sets FCancelled. The core asks through
    // the platform's password question; the window shows its dialog.
    virtual void ShowPasswordDialog();
    // The date column of a zip row: the short date, two spaces, the short time. The window
    // takes both formats from the user's locale; the bare core uses the patterns above.
    // Gives every row the selected state `wanted` says; the window does it through its
    // selection model, which reports back row by row through ZipListSelectItem.
    virtual void ApplySelection(const std::vector<bool>& wanted);
    // Panel 1's selection text; ZipListSelectItem leaves it to the end of a batch.
    void UpdateSelectionPanel();
    bool FSelectionBatch = false;
    // Extracts every entry of the lister's archive into `folder` (the encoded-archive road),
    // overwriting; false when the run failed.
    virtual bool ExtractAllTo(const std::string& folder);

    int FListUpdateDepth = 0;
    int FSelectedCount = 0;

private:
    void SetCaptionFor(const std::string& name);
    void EnsureStatusPanels();
    void SetPanel(size_t index, const std::string& text);
    void ClearInstaller();
    void RememberListError(int code, const std::string& text);
    void ReplaceLaterOrRestore();
    void AskFixInvalidZip();
    std::string ExtensionImageKeyName(const std::string& ext);

    // Extraction: one run over the given stored names (all entries when `all`).
    bool ExtractNames(const std::vector<std::string>& names, bool all, bool dirNames,
                      const std::string& folder, bool skipOlder, bool overwrite);
    bool RunZipExtract(const std::vector<std::string>& names, bool dirNames, const std::string& folder,
                       bool skipOlder, bool overwrite, bool test);
    bool RunEngineExtract(const std::vector<std::string>& names, bool all, bool dirNames,
                          const std::string& folder, bool overwrite);
    void BeginExtractRun(const std::string& folder, bool dirNames, bool overwrite);
    // Notes which folders and files the run may bring into being (those missing now) for
    // the stored names (every row when `all`); TakeBackCancelledRun removes them again,
    // files first, and folders only while they are empty.
    void NoteNewPaths(const std::vector<std::string>& names, bool all, const std::string& folder,
                      bool dirNames);
    void TakeBackCancelledRun();
    void ShowExtractResult(bool ok, int count);
    void ShowStat();
    void CloseStat();
    std::vector<std::string> SelectedStoredNames() const;
    const TListRow* FirstSelectedRow() const;
    // The row whose entry the engine's run writes to `path` (an output file), or null.
    const TListRow* RowForOutput(const std::string& path);
    // Extracts the selected rows (and `row`) privately; the copy of `row`, "" on failure.
    std::string ViewCopy(const TListRow& row);
    std::string HexViewerProgram() const;
    void RemovePrivateTemp();

    std::unique_ptr<TZipBackend> FZip;
    std::unique_ptr<TListerBackend> FLister;
    std::unique_ptr<TIniFile> FIni;
    std::unique_ptr<TIniFile> FRegistry;
    // The first error of the running listing, shown when the listing failed.
    int FListErrorCode = 0;
    std::string FListErrorText;
    // A file the user agreed to overwrite with a new archive: moved aside until the new
    // archive exists, put back when the new one never came into being.
    std::string FReplacedFile, FReplacedBackup;
    bool FOpeningZip = false;     // the zip front-end is reading the directory for OpenArchive
    bool FInvalidZipSeen = false; // ... and found no valid zip

    std::unique_ptr<TExtractorBackend> FCurrentUnpacker;
    // The packer of the running add or delete, for the progress window's Cancel.
    TPackerBackend* FRunningPacker = nullptr;
    // Runs `packer` as the window's add or delete with the progress window up; the count.
    int RunPacker(TPackerBackend& packer, const char* header);
    // The progress window's Cancel was clicked during the running add or delete.
    bool FWriteCancelled = false;
    // What an add or delete says when it is over: the count with `doneText`, or that the
    // user cancelled it.
    void ShowWriteResult(int count, const char* doneText);
    std::string FPrivateTemp;
    // The running extraction: where it writes, the first error, the count that passed.
    struct TExtractRun {
        std::string folder;
        bool dirNames = false;
        int errors = 0;
        std::string firstError;
        int passed = 0;
        bool cancelled = false;
        bool selectedOnly = false;
        // Per output file of the engine's run: how many entries have reached it, and the
        // file the last overwrite question was about (its entry begins next).
        std::map<std::string, int> reached;
        std::string asked;
        // What was missing before the run began (NoteNewPaths).
        std::vector<std::string> newFolders, newFiles;
    } FRun;
};
