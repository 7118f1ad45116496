// The zip format's directory walk as the engine uses it: the lister and the extractor read
// the central directory and the end record through the shared leaf (common/ZipDirectory.h)
// and name the entries the same way.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"
#include "common/ZipDirectory.h"

class TFormatWalk;
class TZipCommon;

// The lister's walk: the central directory when detection found it (read from the disks of
// a spanned set as they are inserted), else the local headers.
std::unique_ptr<TFormatWalk> NewZipWalk(TArcType Type);
std::string ZipMethods(const TZipCommon& C, int Code, uint32_t Flags);

// Detection: the spanning marker in front of the first local header (a set on a removable
// drive, else a plain zip), and a central header where the archive should begin (a later
// disk of a set, on a removable drive only). The scan's mark: a local header.
TArcType ZipSpanMarkerSignature(TArcDetector& D, int Mode);
TArcType ZipLaterDiskSignature(TArcDetector& D, int Mode);
int64_t ZipScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);

// The name of a central record's entry, '/' separators: the Info-ZIP Unicode path when it
// belongs to the stored name, else the stored name (UTF-8 by flag 11, else the archive code
// page). Utf8 tells which was decoded as UTF-8.
std::string ZipCentralName(const pvcommon::zip::ZipCentralRecord& R, bool& Utf8);
// A zip name as stored, decoded ('/' separators).
std::string ZipStoredName(const std::string& Raw, bool Utf8);
