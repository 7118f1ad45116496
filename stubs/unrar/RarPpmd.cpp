#include "stubs/unrar/RarPpmd.h"

namespace rar {

struct TPpmd::TModel {};
TPpmd::TPpmd() = default;
TPpmd::~TPpmd() = default;
bool TPpmd::Init(TBitInput&, int&) { return false; }
int TPpmd::DecodeChar(TBitInput&) { return -1; }

} // namespace rar
