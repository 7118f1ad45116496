#include "stubs/unrar/RarUnpack.h"

namespace rar {

std::unique_ptr<TDecoder> MakeDecoder29() { return nullptr; }

} // namespace rar
