#include "archive/format/aeUnCAB.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <set>

#include "archive/format/aeCabHeaders.h"
#include "archive/aeMsgs.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

// The state of the cabinet run under way (one at a time).
struct TCabRun {
    TUnCAB* Current = nullptr;
    bool Scan = false;
    bool MoreFilesWanted = true;
    bool Capture = false;
    std::string NextCabinet, NextDisk, CabinetPath;
    uint16_t SetId = 0, CabinetIndex = 0;
    uint8_t Action = 0; // of the last copy-file answer: 0 abort, 1 skip, 2 extract
    int64_t Size = 0;   // of the file being written
    int64_t BytesToRead = 0;
    int64_t Total = 0;          // of the files chosen by the scan pass
    std::exception_ptr Pending; // thrown inside a callback, raised again after the call
};
TCabRun gRun;

std::string EntryName(const char* Raw, uint16_t Attribs) {
    std::string name = platform::decodeArchiveName(Raw ? Raw : "", (Attribs & 0x80) != 0);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

TCabHandle Notify(int Type, TFdiNotification* N) {
    TUnCAB* u = gRun.Current;
    if (!u || !N) return -1;
    try {
        switch (Type) {
        case fdintCABINET_INFO:
            return u->CabinetInfo(*N);
        case fdintCOPY_FILE:
            return gRun.Scan ? u->CopyFileCount(*N) : u->CopyFileExtract(*N);
        case fdintCLOSE_FILE_INFO:
            return u->CloseFileInfo(*N);
        case fdintNEXT_CABINET:
            return u->NextCabinet(*N);
        default:
            return 0;
        }
    } catch (...) {
        gRun.Pending = std::current_exception();
        return -1;
    }
}

uint32_t FdiWrite(TCabHandle, void* Buffer, uint32_t Count) {
    if (!gRun.Current) return static_cast<uint32_t>(-1);
    try {
        return gRun.Current->WriteData(Buffer, Count);
    } catch (...) {
        gRun.Pending = std::current_exception();
        return static_cast<uint32_t>(-1);
    }
}

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string{} : Path.substr(0, slash + 1);
}

std::string Canonical(const std::string& Path) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(Path, ec);
    return ec ? Path : p.string();
}

} // namespace

TUnCAB::TUnCAB() = default;

TUnCAB::~TUnCAB() {
    if (FContext) CabinetLibrary().FDIDestroy(FContext);
}

void TUnCAB::EnsureContext() {
    if (FContext) return;
    FErf = TCabErf{};
    FContext = CabinetLibrary().FDICreate(CabAlloc, CabFree, CabFdiOpen, CabFdiRead, FdiWrite, CabFdiClose,
                                          CabFdiSeek, static_cast<int>(CpuType) - 1, &FErf);
    if (!FContext && FErf.fError) RaiseCabinetError(FErf, false);
    if (!FContext) RaiseCabinetError(TCabErf{fdiErrAllocFail, 0, 1}, false);
}

bool TUnCAB::IsCabinet(const std::string& Name) {
    EnsureContext();
    SetCurrentCabinetHandler(&FHandler);
    int err = 0;
    const TCabHandle h = FHandler.Open(Name, kCabOpenRead | kCabOpenBinary, 0, err);
    if (h == -1 || err != 0) RaiseError(Name, "", "0", kMsgOpenError);
    TFdiCabinetInfo info{};
    const bool is = CabinetLibrary().FDIIsCabinet(FContext, h, &info) != 0;
    FHandler.Close(h, err);
    if (err != 0) RaiseError(Name, "", "0", kMsgCloseError);
    return is;
}

void TUnCAB::Copy(const std::string& Name, bool Scan) {
    gRun.Scan = Scan;
    if (Scan) {
        gRun.Total = 0;
        gRun.Capture = false;
    }
    gRun.Pending = nullptr;
    std::string file = Name.substr(FolderOf(Name).size());
    std::string path = FolderOf(Name);
    FErf = TCabErf{};
    SetCurrentCabinetHandler(&FHandler);
    const int ok = CabinetLibrary().FDICopy(FContext, file.data(), path.data(), 0, Notify, nullptr, this);
    gRun.Scan = false;
    if (!ok && gRun.Action == 2) {
        // The file being written when the library gave up: discarded, and it counts as failed.
        gRun.Action = 1;
        DiscardOutput(FOut, FOutStream);
        FireEvent(OnEnd, *this, FOutFn, false);
    }
    if (gRun.Pending) {
        std::exception_ptr p = gRun.Pending;
        gRun.Pending = nullptr;
        std::rethrow_exception(p);
    }
    if (!ok) {
        if (Cancel()) RaiseError(Name, "", "0", kMsgUserCanceled);
        RaiseCabinetError(FErf, false);
    }
    if (Scan) {
        BytesLeft = gRun.Total;
        TotalPackedSize = TotalUnpackedSize = gRun.Total;
    }
}

void TUnCAB::ExtractArchive(int&, TStream*) {
    struct Leave {
        TUnCAB& u;
        ~Leave() {
            gRun.Current = nullptr;
            SetCurrentCabinetHandler(nullptr);
            u.DiscardOutput(u.FOut, u.FOutStream);
        }
    } leave{*this};
    std::string name = FArchiveFile;
    try {
        if (CabinetLibrary().Missing) RaiseError(FArchiveFile, "", "0", 25261);
        gRun = TCabRun{};
        gRun.Current = this;
        Ctx().Crc32Value = 0xFFFFFFFF;
        EnsureContext();
        if (platform::fileExists(FArchiveFile) && !IsCabinet(FArchiveFile)) {
            // Too short for a cabinet's header, or not one at all: a failure, never an empty success.
            const int64_t size = platform::fileSize(FArchiveFile);
            ReportError(FArchiveFile, "", "0",
                        size < static_cast<int64_t>(aehdr::CabHeader::kFixedSize) ? kMsgReadError
                                                                                  : kMsgBadFileHeader);
            return;
        }
        std::set<std::string> seen{Canonical(name)};
        Copy(name, true);
        while (!name.empty()) {
            gRun.Capture = true;
            gRun.NextCabinet.clear();
            Copy(name, false);
            if (!gRun.MoreFilesWanted || Cancel() || gRun.NextCabinet.empty()) break;
            std::string next = FolderOf(name) + gRun.NextCabinet;
            if (!seen.insert(Canonical(next)).second)
                RaiseError(next, "the set leads back to a cabinet already read", "0", kMsgBrokenChain);
            if (!AskNextVolume(next, VolumeNumber + 1, gRun.NextDisk)) break;
            seen.insert(Canonical(next));
            name = next;
            FArchiveFile = name;
            Copy(name, true);
        }
    } catch (const ECabinetError& e) {
        // The library's error, naming the cabinet; nothing of the file it was writing stays.
        if (!Cancel())
            ReportError(name, e.Reason.empty() ? e.what() : std::string(e.what()) + ": " + e.Reason, "0",
                        kMsgReadError);
    } catch (const E_RAISE&) {
        // Reported through OnError when it was raised.
    }
}

TCabHandle TUnCAB::CabinetInfo(TFdiNotification& N) {
    if (gRun.Capture) {
        gRun.NextCabinet = N.psz1 ? N.psz1 : "";
        gRun.NextDisk = N.psz2 ? N.psz2 : "";
        gRun.CabinetPath = N.psz3 ? N.psz3 : "";
        gRun.SetId = N.setID;
        gRun.CabinetIndex = N.iCabinet;
        gRun.Capture = false;
    }
    return 0;
}

TCabHandle TUnCAB::CopyFileCount(TFdiNotification& N) {
    if (!gRun.MoreFilesWanted) {
        N.fdie = fdiErrUserAbort;
        return 0;
    }
    const std::string name = EntryName(N.psz1, N.attribs);
    if (MatchesFileSpec(name, true) && !Cancel()) {
        gRun.Total += std::max<long>(0, N.cb);
        MaxFileDosDate = std::max(MaxFileDosDate, (uint32_t{N.date} << 16) | N.time);
    }
    gRun.Action = 1;
    return 0;
}

TCabHandle TUnCAB::CopyFileExtract(TFdiNotification& N) {
    if (!gRun.MoreFilesWanted) {
        N.fdie = fdiErrUserAbort;
        return 0;
    }
    gRun.Action = 1;
    const std::string name = EntryName(N.psz1, N.attribs);
    if (!MatchesFileSpec(name, true) || Cancel()) return Cancel() ? -1 : 0;
    const int64_t size = std::max<long>(0, N.cb);
    gRun.BytesToRead = gRun.Size = size;
    std::string stored = name;
    bool exists = false;
    const uint32_t dos = (uint32_t{N.date} << 16) | N.time;
    switch (BeginFile(stored, exists, DosDateToDateTime(dos))) {
    case TBeginResult::brCancel:
        gRun.Action = 0;
        return -1;
    case TBeginResult::brSkip:
        BytesLeft -= size;
        if (OnProgress) ReportProgress(0, 0, gRun.Total);
        return 0;
    case TBeginResult::brExtract:
        break;
    }
    FOutName = FileName;
    const std::string fn = WriteMode == 0 || WriteMode == 2 ? FOutName : name;
    FOutFn = fn;
    if (!CreateOutput(FOut, FOutStream, stored, FOutName)) {
        OutputFailed(FOutName, fn);
        BytesLeft -= size;
        return 0;
    }
    Ctx().Crc32Value = 0xFFFFFFFF;
    gRun.Action = 2;
    gRun.MoreFilesWanted = IsWildList(FFileSpec);
    return WriteMode == 0 && FOut >= 0 ? static_cast<TCabHandle>(FOut) : 1;
}

uint32_t TUnCAB::WriteData(const void* Buffer, uint32_t Count) {
    if (gRun.Scan) return Count;
    gRun.BytesToRead -= Count;
    BytesLeft -= Count;
    ReportProgress(gRun.Size - gRun.BytesToRead, gRun.Size, gRun.Total);
    if (WriteMode >= 4) {
        // A test run: the data only go through the check.
        UpdateCrc(32, static_cast<const uint8_t*>(Buffer), Count);
        return Count;
    }
    // The library's buffer is not ours to change: the writer may translate line ends in place.
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(Buffer),
                              static_cast<const uint8_t*>(Buffer) + Count);
    WriteBlockDecrypted(FOut, FOutStream.get(), 1, Count, 32, false, copy.data());
    return Count;
}

TCabHandle TUnCAB::CloseFileInfo(TFdiNotification& N) {
    const std::string name = EntryName(N.psz1, N.attribs);
    const std::string fn = WriteMode == 0 || WriteMode == 2 ? FOutName : name;
    // A file whose data the library could not decode fails alone; the copy goes on.
    if (gRun.Action == 2 && N.fdie != 0) ReportError(fn, CabinetReadReason(N.fdie), "0", kMsgReadError);
    const bool extracted = gRun.Action == 2 && N.fdie == 0;
    const uint32_t dos = (uint32_t{N.date} << 16) | N.time;
    // Read-only, hidden, system and archive bits; the others have no meaning for a file here.
    const uint32_t attr = N.attribs & 0x27;
    const bool pass = FinishFile(FOut, FOutStream, attr ? attr : 32, dos, FOutName, extracted);
    if (pass && WriteMode == 0 && (N.attribs & 0x40) && RestoreFileAttr) {
        const int mode = platform::fileMode(FOutName);
        if (mode >= 0) platform::setFileMode(FOutName, mode | 0111);
    }
    if (OnEnd)
        FireEvent(OnEnd, *this, fn, pass);
    else if (!pass)
        ReportError(fn, "", "0", kMsgFailsCrc);
    gRun.Action = 1;
    return 1;
}

TCabHandle TUnCAB::NextCabinet(TFdiNotification& N) {
    std::string folder = N.psz3 ? N.psz3 : "";
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::string name = folder + (N.psz1 ? N.psz1 : "");
    if (!AskNextVolume(name, VolumeNumber + 1, N.psz2 ? N.psz2 : "")) return -1;
    const std::string file = name.substr(FolderOf(name).size());
    const std::string path = FolderOf(name);
    if (file.size() > 255 || path.size() > 255) return -1;
    std::copy(file.begin(), file.end(), N.psz1);
    N.psz1[file.size()] = '\0';
    std::copy(path.begin(), path.end(), N.psz3);
    N.psz3[path.size()] = '\0';
    return 0;
}
