// TUUDecode: decodes one UU- or XX-encoded file from ArchiveFile, following it over
// continuation volumes (asked for through OnNextVolume) when a volume ends before "end".
// The alphabet comes from a "table" block, else from the first data line. The decoded
// bytes go to the output the extractor base makes; output that never reached "end" fails
// and is discarded, never reported as passed.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "archive/aeUnBase.h"

enum TNextVolumeName : uint8_t { nvChangeFilename, nvChangeExt };

class TUUDecode : public TUnBase {
public:
    TUUDecode() = default;

    int MaxHeaderLines = 100;
    TNextVolumeName NextVolumeName = nvChangeExt;
    bool VolumeLongFilenames = false;
    uint8_t VolumeStartNum() const { return FVolumeStartNum; }
    void SetVolumeStartNum(uint8_t Value) { FVolumeStartNum = Value > 10 ? 10 : Value; }

    // The name of continuation volume Number of Name (by NextVolumeName).
    std::string ContinuationName(const std::string& Name, int Number) const;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    void Decode(int& ArchiveHandle, TStream* Stream);
    uint8_t FVolumeStartNum = 0;
};
