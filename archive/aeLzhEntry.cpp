// The LZH decoder wired to an extractor's block reader and writer.
#include "archive/aeLzhEntry.h"

#include "archive/aeEntryIo.h"

bool DecodeLzhEntry(TUnBase& Ex, int& InHandle, TStream* InStream, int OutHandle, TStream* OutStream,
                    const ae::LzhParams& Params, std::int64_t Packed, std::int64_t Unpacked,
                    std::uint32_t ExpectedCrc, const std::string& Name) {
    ae::EntrySource src{Ex, InHandle, InStream, Packed, Params.decrypts()};
    ae::InputBuffer in{src, 32768};
    ae::EntrySink sink{Ex, OutHandle, OutStream, Unpacked, Params.checkMode};
    bool ok = false;
    try {
        const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, Unpacked));
        const ae::DecodeResult r = ae::LzhDecode(in, sink, Params, size);
        ok = r.ok();
        if (!ok && !Ex.Cancel())
            Ex.ReportError(Name, "", "0", r.status == ae::DecodeStatus::Corrupt ? r.msg : 25236);
    } catch (const E_RAISE& e) {
        Ex.ReportError(Name, "", "0", e.ECode);
    }
    if (!ok) {
        auto& ctx = Ex.Ctx();
        if (Params.checkMode == 16)
            ctx.Crc16Value = static_cast<std::uint16_t>(ExpectedCrc ^ 1u);
        else
            ctx.Crc32Value = ~ExpectedCrc ^ 1u;
    }
    return ok;
}
