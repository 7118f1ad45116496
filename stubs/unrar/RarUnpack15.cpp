#include "stubs/unrar/RarUnpack.h"

namespace rar {

std::unique_ptr<TDecoder> MakeDecoder15() { return nullptr; }

} // namespace rar
