#include "stubs/unrar/RarUnpack.h"

namespace rar {

std::unique_ptr<TDecoder> MakeDecoder20() { return nullptr; }

} // namespace rar
