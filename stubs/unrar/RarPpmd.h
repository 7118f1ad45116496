// PPMd variant H as RAR 2.9 uses it inside its compressed stream, with RAR's range decoder.
#pragma once

#include <memory>

#include "stubs/unrar/RarUnpack.h"

namespace rar {

class TPpmd {
public:
    TPpmd();
    ~TPpmd();
    // Starts a PPM block at the stream's position (aligned first): reads its flags byte (and
    // the model's memory size when it asks for a new model, and the escape character when it
    // gives one) and primes the range decoder. EscChar is left alone unless the block sets
    // it. False when the data are damaged or a block continues a model never made.
    bool Init(TBitInput& In, int& EscChar);
    // The next decoded byte, or -1 when the data are damaged (the model then stays unusable
    // until a block starts a new one). The range decoder's state is kept here, not in In, so
    // a block may go on in the next solid entry's input. RAR ends every entry coded in PPM
    // with the escape character and 2, and the model takes those symbols in too: a decoder
    // that stops after the entry's bytes must still decode them before a solid entry goes on.
    int DecodeChar(TBitInput& In);

private:
    struct TModel;
    std::unique_ptr<TModel> M;
};

} // namespace rar
