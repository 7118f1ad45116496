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

// Looks for the end-of-central-directory record and follows it to the first central and
// local headers. The 1-based ArcStart of the zip when all three were confirmed, else 0.
int64_t FindEndOfCentralDir(TArcDetector& D);
// The end-of-central-directory search, then a probe for a local header in 25000..57767.
// 1-based ArcStart or 0.
int64_t FindZipCentral(TArcDetector& D);
// A local header where the self-extractor stubs of common zip tools end.
bool FindZipAtFixedOffsets(TArcDetector& D);

// Detection's zip steps (see TDetectOrder): in a program, the fixed stub ends, then the
// central directory; in another file, what a zip signature answered completed from the end
// record, a spanned set's disk on a removable drive, and the end record as the last resort.
bool ZipProgramDirectoryStep(TArcDetector& D);
bool ZipAnswerStep(TArcDetector& D);
bool ZipSpannedDiskStep(TArcDetector& D);
bool ZipEndRecordStep(TArcDetector& D);

// The name of a central record's entry, '/' separators: the Info-ZIP Unicode path when it
// belongs to the stored name, else the stored name (UTF-8 by flag 11, else the archive code
// page). Utf8 tells which was decoded as UTF-8.
std::string ZipCentralName(const pvcommon::zip::ZipCentralRecord& R, bool& Utf8);
// A zip name as stored, decoded ('/' separators).
std::string ZipStoredName(const std::string& Raw, bool Utf8);
