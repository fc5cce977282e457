// The virtual card's file input: any bytes given as KELVANE_VIRTUAL_INPUT=file:PATH are either
// refused with a reason or looped as a signal, in every device format, without reading past
// what the file holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_memfile.h"
#include "platform/wave/virtual_signal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::MemFile file("virtual-input");
    file.assign(data, size);
    const std::string spec = "file:" + file.path();
    std::string error;
    const bool valid = valid_signal_spec(spec, &error);
    if (!valid && error.empty()) __builtin_trap();
    // Mono 8-bit and stereo 16-bit cover the conversions from whatever the file holds.
    const WAVEFORMATEX formats[] = {{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0},
                                    {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0}};
    for (const auto& format : formats) {
        auto signal = make_signal(spec, format);
        if (!signal) __builtin_trap();
        std::vector<BYTE> out(std::size_t{format.nBlockAlign} * 1000);
        signal->render(out);
        signal->skip(12345);
        signal->render(out);
    }
    return 0;
}
