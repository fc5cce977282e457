#include "platform/codec/lame_encoder.h"

#include <algorithm>
#include <cstdarg>

namespace quillon::codec {

namespace {

void quiet(const char*, va_list) {}

// LAME's bound for the output of n samples.
std::size_t worst_case_bytes(std::size_t n) {
    return n + n / 4 + 7200;
}

}  // namespace

// The frame's header, side information and 156 bytes of tag.
bool info_frame_fits(int rate, int channels, int kbps) {
    const bool mpeg1 = rate >= 32000;
    const int frame_bytes = (mpeg1 ? 144000 : 72000) * kbps / rate;
    const int side_info = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    return frame_bytes >= 4 + side_info + 156;
}

LamePtr make_lame(const LameSettings& s) {
    LamePtr gf(lame_init());
    if (!gf) return nullptr;
    lame_set_errorf(gf.get(), quiet);
    lame_set_debugf(gf.get(), quiet);
    lame_set_msgf(gf.get(), quiet);
    lame_set_in_samplerate(gf.get(), s.rate);
    // Without an explicit output rate LAME resamples low bit rates down on its own.
    lame_set_out_samplerate(gf.get(), s.rate);
    lame_set_num_channels(gf.get(), s.channels);
    lame_set_mode(gf.get(), s.channels == 1 ? MONO : JOINT_STEREO);
    if (s.average) {
        lame_set_VBR(gf.get(), vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(gf.get(), s.kbps);
    } else {
        lame_set_VBR(gf.get(), vbr_off);
        lame_set_brate(gf.get(), s.kbps);
    }
    lame_set_quality(gf.get(), s.quality);
    lame_set_bWriteVbrTag(gf.get(), s.info_frame ? 1 : 0);
    // Tags are the writer's business, never part of the stream LAME returns.
    lame_set_write_id3tag_automatic(gf.get(), 0);
    if (s.samples > 0 && s.samples < 0xFFFFFFFFu)
        lame_set_num_samples(gf.get(), static_cast<unsigned long>(s.samples));
    if (lame_init_params(gf.get()) < 0) return nullptr;
    return gf;
}

bool lame_encode(lame_global_flags* gf, std::span<const std::int16_t> samples, int channels,
                 std::vector<BYTE>& out) {
    const std::size_t frames = samples.size() / channels;
    // At most a million frames a call keeps LAME's int sizes safe.
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min<std::size_t>(frames - done, 1 << 20);
        const short* pcm = samples.data() + done * channels;
        const std::size_t room = worst_case_bytes(n);
        const std::size_t start = out.size();
        out.resize(start + room);
        const int written =
            channels == 2
                ? lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm), static_cast<int>(n),
                                                 out.data() + start, static_cast<int>(room))
                : lame_encode_buffer(gf, pcm, nullptr, static_cast<int>(n), out.data() + start,
                                     static_cast<int>(room));
        if (written < 0) {
            out.resize(start);
            return false;
        }
        out.resize(start + static_cast<std::size_t>(written));
        done += n;
    }
    return true;
}

bool lame_flush(lame_global_flags* gf, std::vector<BYTE>& out) {
    const std::size_t start = out.size();
    out.resize(start + 7200);
    const int written = lame_encode_flush(gf, out.data() + start, 7200);
    out.resize(start + static_cast<std::size_t>(std::max(written, 0)));
    return written >= 0;
}

}  // namespace quillon::codec
