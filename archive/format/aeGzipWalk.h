// The single-stream files of the gzip family (gzip, compress, pack, old LZH-gzip): one entry, its sizes from
// the trailer or the stream: the directory walk the lister runs and the names of the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewGzipWalk(TArcType Type);
std::string GzipMethods(const TZipCommon& C, int Code, uint32_t Flags);
