// The WAV header reader on arbitrary files. Whatever it accepts must survive a write and a
// second read unchanged: the reader and the writer agree on every format and text they pass on.
// Settling the sizes of the file (kelvane repair) must not change what the reader finds either:
// both take a cut file the same way.
#include <cstdint>
#include <cstring>

#include "control/engine/wav_file.h"
#include "fuzz/fuzz_memfile.h"
#include "platform/riff/riff_repair.h"

using namespace kelvane::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::MemFile input("wav-in");
    static quillon::fuzz::MemFile output("wav-out");
    input.assign(data, size);

    const int is_wav = test_for_wav(input.path());
    WavHeader header;
    InfoTexts texts;
    const int result = read_wav_header(input.path(), header, texts);
    if (result != 0 && result != -1) __builtin_trap();
    if (result != 0) return 0;
    if (is_wav != 1) __builtin_trap();  // a header was read from a file that is no WAV
    if (header.format.wfx.cbSize > kMaxExtraFormatBytes) __builtin_trap();
    for (const std::string& text : texts.slots)
        if (text.size() > kMaxInfoTextChars) __builtin_trap();
    if (texts.display_name.size() > kMaxDisplayNameBytes) __builtin_trap();

    static quillon::fuzz::MemFile repaired("wav-repaired");
    repaired.assign(data, size);
    quillon::riff::RiffRepair report;
    if (quillon::riff::repair_riff_sizes(repaired.path().c_str(), true, report) != 0)
        __builtin_trap();
    WavHeader settled;
    InfoTexts settled_texts;
    if (read_wav_header(repaired.path(), settled, settled_texts) != 0) __builtin_trap();
    if (settled.data_size != header.data_size || settled.data_offset != header.data_offset ||
        std::memcmp(&settled.format, &header.format, sizeof(FileFormat)) != 0)
        __builtin_trap();

    WavWriter writer;
    if (writer.create(output.path(), header.format) != 0) __builtin_trap();
    if (writer.finalize(texts) != 0) __builtin_trap();
    WavHeader again;
    InfoTexts texts_again;
    if (read_wav_header(output.path(), again, texts_again) != 0) __builtin_trap();
    if (std::memcmp(&again.format, &header.format, sizeof(FileFormat)) != 0) __builtin_trap();
    if (!(texts_again == texts)) __builtin_trap();
    return 0;
}
