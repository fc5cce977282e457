// Each driver round-trips a test signal within the margin its codec deserves, and its size
// answers agree with what convert then uses.
#include <algorithm>
#include <cstdlib>

#include "platform/codec/driver.h"
#include "platform/codec/format_names.h"
#include "tests/platform/codec/codec_test_util.h"

using namespace codec_test;
namespace qc = quillon::codec;

namespace {

std::vector<BYTE> named(const char* name) {
    auto parsed = qc::parse_format_name(name);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.format;
}

// Encodes `signal` from the suggested PCM into `coded` and decodes it back.
std::vector<std::int16_t> round_trip(const std::vector<BYTE>& coded,
                                     const std::vector<std::int16_t>& signal, DWORD chunk) {
    const std::vector<BYTE> pcm16 = suggested_pcm(coded);
    TestStream enc(pcm16, coded);
    TestStream dec(coded, pcm16);
    EXPECT_EQ(enc.result(), 0u);
    EXPECT_EQ(dec.result(), 0u);
    const std::vector<BYTE> packed = enc.convert_all(bytes_of(signal), chunk);
    return samples_of(dec.convert_all(packed, chunk));
}

struct Margin {
    const char* name;
    double min_snr_db;  // measured values are noted beside each margin
    std::size_t max_lag;
};

class LossyRoundTrip : public ::testing::TestWithParam<Margin> {};

TEST_P(LossyRoundTrip, SineComesBackAboveItsMargin) {
    const Margin m = GetParam();
    const std::vector<BYTE> coded = named(m.name);
    const int rate = static_cast<int>(wfx(coded).nSamplesPerSec);
    const int channels = wfx(coded).nChannels;
    const auto signal = sine(440, rate, channels, 2.0);
    const auto back = round_trip(coded, signal, 4096);
    ASSERT_GE(back.size(), signal.size()) << "the end of the signal was lost";
    const std::size_t lag = best_lag(signal, back, channels, m.max_lag, 2048);
    // LAME scales its input by about 0.95; a level change is not noise, so the SNR is taken
    // against the best-scaled input and the scale itself is checked apart.
    const GainMatch match = gain_matched_snr(signal, back, channels, lag, 2048);
    EXPECT_NEAR(match.gain, 1.0, 0.06) << m.name;
    EXPECT_GE(match.snr_db, m.min_snr_db) << m.name << " lag " << lag;
    RecordProperty("snr_db", std::to_string(match.snr_db));
    RecordProperty("gain", std::to_string(match.gain));
}

INSTANTIATE_TEST_SUITE_P(Codecs, LossyRoundTrip,
                         ::testing::Values(Margin{"ima-adpcm:8000:1", 25, 0},    // measured 29.8 dB
                                           Margin{"ima-adpcm:44100:2", 40, 0},   // measured 45.4 dB
                                           Margin{"ms-adpcm:8000:1", 33, 0},     // measured 38.1 dB
                                           Margin{"ms-adpcm:22050:2", 50, 0},    // measured 55.8 dB
                                           Margin{"gsm610:8000:1", 28, 8},       // measured 32.7 dB
                                           Margin{"mp3:44100:2:128", 50, 2400},  // measured 74.4 dB
                                           Margin{"mp3:22050:1:32", 50, 2400},   // measured 81.8 dB
                                           Margin{"mp3:8000:2:24", 50, 2400}),   // measured 80.0 dB
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace_if(
                                 n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return n;
                         });

// G.711 is exact: every code is a fixed value, and encoding is the nearest-interval rule.
TEST(G711, DecodeTablesHoldTheStandardValues) {
    EXPECT_EQ(qc::alaw_to_linear(0xD5), 8);
    EXPECT_EQ(qc::alaw_to_linear(0x55), -8);
    EXPECT_EQ(qc::alaw_to_linear(0xAA), 32256);
    EXPECT_EQ(qc::alaw_to_linear(0x2A), -32256);
    EXPECT_EQ(qc::mulaw_to_linear(0xFF), 0);
    EXPECT_EQ(qc::mulaw_to_linear(0x7F), 0);
    EXPECT_EQ(qc::mulaw_to_linear(0x80), 32124);
    EXPECT_EQ(qc::mulaw_to_linear(0x00), -32124);
    for (int c = 0; c < 256; ++c) {
        const auto code = static_cast<BYTE>(c);
        EXPECT_EQ(qc::alaw_to_linear(code ^ 0x80), -qc::alaw_to_linear(code)) << c;
        EXPECT_EQ(qc::linear_to_alaw(qc::alaw_to_linear(code)), code) << c;
        if (c != 0x7F) {  // mu-law has two zeros; encoding picks the positive one
            EXPECT_EQ(qc::linear_to_mulaw(qc::mulaw_to_linear(code)), code) << c;
        }
    }
}

TEST(G711, EveryInputLandsInItsQuantisationInterval) {
    // A-law: step 16 up to 512, then doubling per segment; error at most half a step.
    // mu-law: step 8 near zero, doubling per segment, on a biased scale.
    int worst_a = 0, worst_u = 0;
    for (int x = -32768; x <= 32767; ++x) {
        const int a = qc::alaw_to_linear(qc::linear_to_alaw(static_cast<SHORT>(x)));
        const int magnitude = std::abs(x);
        const int a_step = magnitude < 512 ? 16 : 16 << (31 - __builtin_clz(magnitude >> 8));
        ASSERT_LE(std::abs(a - x), a_step / 2 + 8) << x;  // +8: truncation below 1/8 LSB
        worst_a = std::max(worst_a, std::abs(a - x) * 1000 / std::max(magnitude, 1));
        const int u = qc::mulaw_to_linear(qc::linear_to_mulaw(static_cast<SHORT>(x)));
        const int biased = std::min(magnitude, 32635) + 132;
        const int u_step = 8 << (31 - __builtin_clz(biased >> 7) - 0);
        // Negative inputs are shifted down before the segment search, so a value just past a
        // segment's end may land one quarter step into the next: a step and a little at most.
        ASSERT_LE(std::abs(u - std::clamp(x, -32635, 32635)), u_step + 4) << x << " -> " << u;
        worst_u = std::max(worst_u, std::abs(u - x) * 1000 / std::max(magnitude, 1));
    }
    RecordProperty("alaw_worst_relative_permille", worst_a);
    RecordProperty("mulaw_worst_relative_permille", worst_u);
}

TEST(G711, StreamsDecodeEveryCodeThroughTheTable) {
    for (const char* name : {"alaw:8000:2", "mulaw:8000:2"}) {
        const std::vector<BYTE> coded = named(name);
        const bool alaw = wfx(coded).wFormatTag == WAVE_FORMAT_ALAW;
        std::vector<BYTE> codes(256);
        for (int c = 0; c < 256; ++c) codes[c] = static_cast<BYTE>(c);
        TestStream dec(coded, suggested_pcm(coded));
        const auto pcm = samples_of(dec.convert_all(codes, 100));
        ASSERT_EQ(pcm.size(), 256u);
        for (int c = 0; c < 256; ++c)
            EXPECT_EQ(pcm[c], alaw ? qc::alaw_to_linear(static_cast<BYTE>(c))
                                   : qc::mulaw_to_linear(static_cast<BYTE>(c)));
        TestStream enc(suggested_pcm(coded), coded);
        auto expected = codes;
        if (!alaw) expected[0x7F] = 0xFF;  // mu-law's negative zero encodes as the positive one
        EXPECT_EQ(enc.convert_all(bytes_of(pcm), 64), expected) << name;
    }
}

// ---- PCM converter ---------------------------------------------------------------------------

TEST(PcmConverter, SameFormatIsCopiedOneToOne) {
    TestStream s(pcm(8000, 1, 16), pcm(8000, 1, 16));
    ASSERT_EQ(s.result(), 0u);
    EXPECT_EQ(s.size(1000, ACM_STREAMSIZEF_SOURCE), 1000u);
    EXPECT_EQ(s.size(1000, ACM_STREAMSIZEF_DESTINATION), 1000u);
    std::vector<BYTE> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    const auto step = s.convert(data.data(), 1001 - 1, 1000, ACM_STREAMCONVERTF_BLOCKALIGN);
    EXPECT_EQ(step.src_used, 1000u);
    EXPECT_EQ(step.out, data);
}

TEST(PcmConverter, BitsAndChannelsConvertExactly) {
    // 8-bit values survive 8 -> 16 -> 8; 16 -> 8 rounds to the nearest 8-bit step.
    std::vector<BYTE> eight(256);
    for (int i = 0; i < 256; ++i) eight[i] = static_cast<BYTE>(i);
    TestStream up(pcm(8000, 1, 8), pcm(8000, 1, 16));
    const auto wide = samples_of(up.convert_all(eight, 100));
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0], -32768);
    EXPECT_EQ(wide[128], 0);
    EXPECT_EQ(wide[255], 127 * 256);
    TestStream down(pcm(8000, 1, 16), pcm(8000, 1, 8));
    EXPECT_EQ(down.convert_all(bytes_of(wide), 64), eight);
    const std::vector<std::int16_t> near = {383, 385, -32768, 32767};
    TestStream round(pcm(8000, 1, 16), pcm(8000, 1, 8));
    EXPECT_EQ(round.convert_all(bytes_of(near), 64), (std::vector<BYTE>{129, 130, 0, 255}));

    // Stereo to mono averages; mono to stereo duplicates.
    const std::vector<std::int16_t> stereo = {1000, 3000, -32768, -32768, 32767, 32767, 5, -5};
    TestStream mix(pcm(22050, 2, 16), pcm(22050, 1, 16));
    EXPECT_EQ(samples_of(mix.convert_all(bytes_of(stereo), 64)),
              (std::vector<std::int16_t>{2000, -32768, 32767, 0}));
    TestStream spread(pcm(22050, 1, 16), pcm(22050, 2, 16));
    EXPECT_EQ(samples_of(spread.convert_all(bytes_of({7, -9}), 64)),
              (std::vector<std::int16_t>{7, 7, -9, -9}));
}

TEST(PcmConverter, WideAndFloatAndExtensibleSamplesNarrowToSixteenBits) {
    const std::vector<std::int16_t> expected = {0, 1, -1, 32767, -32768, 12345};
    std::vector<BYTE> s24, s32, f32;
    for (std::int16_t v : expected) {
        const std::int32_t wide = std::int32_t{v} * 65536 + 0x7FFF;  // low bits below one step
        const BYTE* w = reinterpret_cast<const BYTE*>(&wide);
        s24.insert(s24.end(), {w[1], w[2], w[3]});
        const std::int32_t exact = std::int32_t{v} * 65536;
        s32.insert(s32.end(), reinterpret_cast<const BYTE*>(&exact),
                   reinterpret_cast<const BYTE*>(&exact) + 4);
        const float f = static_cast<float>(v) / 32768.0f;
        f32.insert(f32.end(), reinterpret_cast<const BYTE*>(&f),
                   reinterpret_cast<const BYTE*>(&f) + 4);
    }
    auto ext = [](WORD bits, WORD valid, const BYTE* sub) {
        WAVEFORMATEXTENSIBLE e{};
        e.Format = {WAVE_FORMAT_EXTENSIBLE,      1,    16000, 16000u * bits / 8,
                    static_cast<WORD>(bits / 8), bits, 22};
        e.Samples.wValidBitsPerSample = valid;
        e.dwChannelMask = 4;
        std::memcpy(e.SubFormat, sub, 16);
        std::vector<BYTE> b(sizeof e);
        std::memcpy(b.data(), &e, sizeof e);
        return b;
    };
    std::vector<BYTE> float_fmt = pcm(16000, 1, 32);
    wfx_ptr(float_fmt)->wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    const std::vector<std::pair<std::vector<BYTE>, std::vector<BYTE>>> cases = {
        {pcm(16000, 1, 24), s24},
        {pcm(16000, 1, 32), s32},
        {float_fmt, f32},
        {ext(24, 24, KSDATAFORMAT_SUBTYPE_PCM_BYTES), s24},
        {ext(32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT_BYTES), f32},
    };
    for (const auto& [format, data] : cases) {
        EXPECT_EQ(wfx(suggested_pcm(format)).wBitsPerSample, 16);
        TestStream s(format, pcm(16000, 1, 16));
        ASSERT_EQ(s.result(), 0u) << wfx(format).wFormatTag;
        auto out = samples_of(s.convert_all(data, 7));
        // 24-bit values just below the next step round up by one; the rest is exact.
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(out.at(i), expected[i], 1) << wfx(format).wFormatTag << " #" << i;
    }
}

TEST(PcmConverter, ResamplingKeepsTheToneAndTheDuration) {
    for (auto [from, to] :
         {std::pair{44100, 8000}, std::pair{8000, 48000}, std::pair{22050, 16000}}) {
        TestStream s(pcm(from, 2, 16), pcm(to, 1, 16));
        ASSERT_EQ(s.result(), 0u);
        const auto in = sine(1000, from, 2, 1.0);
        const auto out = samples_of(s.convert_all(bytes_of(in), 4410));
        EXPECT_NEAR(static_cast<double>(out.size()), to, to * 0.002) << from << "->" << to;
        const auto ideal = sine(1000, to, 1, 1.0);
        const std::size_t lag = best_lag(ideal, out, 1, 64, 512);
        EXPECT_GE(snr_db(ideal, out, 1, lag, 512), 60) << from << "->" << to;  // measured 74+ dB
    }
}

// ---- Size answers against convert ------------------------------------------------------------

TEST(StreamSizes, BlockCodecsConvertWhatTheSizesPromise) {
    for (const auto& choice : qc::format_choices()) {
        const WAVEFORMATEX& f = wfx(choice.format);
        // PCM has tests of its own; MP3 streams (below).
        if (f.wFormatTag == WAVE_FORMAT_PCM || f.wFormatTag == WAVE_FORMAT_MPEGLAYER3) continue;
        const std::vector<BYTE> pcm16 = suggested_pcm(choice.format);
        TestStream enc(pcm16, choice.format);
        TestStream dec(choice.format, pcm16);
        ASSERT_EQ(enc.result(), 0u) << choice.name;
        ASSERT_EQ(dec.result(), 0u) << choice.name;
        const DWORD coded_block = enc.size(1, ACM_STREAMSIZEF_SOURCE);
        const DWORD pcm_block = dec.size(coded_block, ACM_STREAMSIZEF_SOURCE);
        ASSERT_GT(coded_block, 0u) << choice.name;
        EXPECT_EQ(coded_block % f.nBlockAlign, 0u) << choice.name;

        // The recording rounding gives whole blocks at least as long as asked.
        const DWORD asked = 3 * pcm_block + pcm_block / 2;
        const DWORD rounded =
            enc.size(enc.size(asked, ACM_STREAMSIZEF_SOURCE), ACM_STREAMSIZEF_DESTINATION);
        EXPECT_EQ(rounded, 4 * pcm_block) << choice.name;

        // Only whole blocks convert: the partial one at the end is left, not carried.
        const auto signal = bytes_of(sine(300, static_cast<int>(f.nSamplesPerSec), f.nChannels,
                                          asked / (2.0 * f.nChannels * f.nSamplesPerSec) + 0.01));
        auto step = enc.convert(signal.data(), asked, asked, ACM_STREAMCONVERTF_BLOCKALIGN);
        EXPECT_EQ(step.result, 0u);
        EXPECT_EQ(step.src_used, 3 * pcm_block) << choice.name;
        EXPECT_EQ(step.out.size(), 3 * coded_block) << choice.name;

        // Decoding: the source bytes that fill a room fit it exactly.
        const DWORD room = 2 * pcm_block + pcm_block / 2;
        const DWORD source = dec.size(room, ACM_STREAMSIZEF_DESTINATION);
        EXPECT_EQ(source, 2 * coded_block) << choice.name;
        step.out.resize(3 * coded_block);
        auto back = dec.convert(step.out.data(), source, room, ACM_STREAMCONVERTF_BLOCKALIGN);
        EXPECT_EQ(back.src_used, source);
        EXPECT_EQ(back.out.size(), 2 * pcm_block) << choice.name;
        // A coded partial block cannot be decoded, so it adds nothing to the total.
        if (coded_block > 1) {
            EXPECT_EQ(dec.size(3 * coded_block + 1, ACM_STREAMSIZEF_SOURCE), 3 * pcm_block);
        }
    }
}

TEST(StreamSizes, Mp3SizesFollowTheByteRates) {
    const std::vector<BYTE> mp3 = named("mp3:44100:2:128");
    const std::vector<BYTE> pcm16 = suggested_pcm(mp3);
    TestStream enc(pcm16, mp3);
    TestStream dec(mp3, pcm16);
    EXPECT_EQ(enc.size(176400, ACM_STREAMSIZEF_SOURCE), 16000u);
    EXPECT_EQ(enc.size(16000, ACM_STREAMSIZEF_DESTINATION), 176400u);
    EXPECT_EQ(dec.size(16000, ACM_STREAMSIZEF_SOURCE), 176400u);
    EXPECT_EQ(dec.size(176401, ACM_STREAMSIZEF_DESTINATION), 16000u);
    EXPECT_EQ(dec.size(3, ACM_STREAMSIZEF_SOURCE) % 4, 0u) << "whole PCM frames";

    // Ten seconds encoded come out at the nominal rate, and decode to about as much PCM as the
    // size answer promised (LAME's and the decoder's delays add a few frames).
    const auto signal = bytes_of(sine(440, 44100, 2, 10.0));
    const auto coded = enc.convert_all(signal, 17640);
    EXPECT_NEAR(static_cast<double>(coded.size()), 160000, 1500);
    const auto pcm_back = dec.convert_all(coded, 4000);
    const double promised = dec.size(static_cast<DWORD>(coded.size()), ACM_STREAMSIZEF_SOURCE);
    EXPECT_NEAR(static_cast<double>(pcm_back.size()), promised, 4 * 1152 * 4);
}

// ---- MP3 specifics ---------------------------------------------------------------------------

TEST(Mp3, EveryListedFormatEncodesAndDecodesAtItsRate) {
    for (const auto& choice : qc::format_choices()) {
        const WAVEFORMATEX& f = wfx(choice.format);
        if (f.wFormatTag != WAVE_FORMAT_MPEGLAYER3) continue;
        const auto signal = sine(440, static_cast<int>(f.nSamplesPerSec), f.nChannels, 1.0);
        const auto back = round_trip(choice.format, signal, 8192);
        EXPECT_GE(back.size(), signal.size()) << choice.name;
        EXPECT_LE(back.size(), signal.size() + 4 * 1152 * f.nChannels) << choice.name;
    }
}

TEST(Mp3, TheEndFlushKeepsTheLastMoment) {
    const std::vector<BYTE> mp3 = named("mp3:16000:1:32");
    const auto signal = sine(440, 16000, 1, 1.0);
    TestStream enc(suggested_pcm(mp3), mp3);
    const auto without_end = enc.convert_all(bytes_of(signal), 3200, false);
    TestStream enc2(suggested_pcm(mp3), mp3);
    const auto with_end = enc2.convert_all(bytes_of(signal), 3200, true);
    TestStream dec(mp3, suggested_pcm(mp3));
    const auto decoded = dec.convert_all(with_end, 1000);
    EXPECT_GT(with_end.size(), without_end.size());
    EXPECT_GE(decoded.size() / 2, signal.size()) << "the flush must carry the whole signal";
}

// Least-squares fit of a sine of known frequency; returns the SNR of the fit in dB.
double tone_snr(const std::vector<std::int16_t>& s, std::size_t from, double hz, int rate) {
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        const double a = std::sin(2 * kPi * hz * i / rate), b = std::cos(2 * kPi * hz * i / rate);
        ss += a * a, cc += b * b, sc += a * b, ys += s[i] * a, yc += s[i] * b;
    }
    const double det = ss * cc - sc * sc;
    const double x = (ys * cc - yc * sc) / det, y = (yc * ss - ys * sc) / det;
    double signal = 0, noise = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        const double fit =
            x * std::sin(2 * kPi * hz * i / rate) + y * std::cos(2 * kPi * hz * i / rate);
        signal += fit * fit;
        noise += (s[i] - fit) * (s[i] - fit);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

TEST(Mp3, DecodingResumesCleanlyAfterASeekToAnyByte) {
    const std::vector<BYTE> mp3 = named("mp3:22050:1:32");
    const std::vector<BYTE> pcm16 = suggested_pcm(mp3);
    TestStream enc(pcm16, mp3);
    const auto coded = enc.convert_all(bytes_of(sine(500, 22050, 1, 4.0)), 4410);
    TestStream dec(mp3, pcm16);
    // Start, then jump about as the playback engine does, mid-frame included.
    const DWORD room = 8820;
    const DWORD source = dec.size(room, ACM_STREAMSIZEF_DESTINATION);
    ASSERT_GT(dec.convert(coded.data(), source, room, ACM_STREAMCONVERTF_BLOCKALIGN).out.size(),
              0u);
    for (std::size_t offset : {std::size_t{1}, std::size_t{4000}, std::size_t{3333},
                               coded.size() / 2 + 17, std::size_t{101}}) {
        std::vector<std::int16_t> pcm_out;
        DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START;
        for (std::size_t at = offset; at + source <= coded.size() && pcm_out.size() < 22050;) {
            auto step = dec.convert(coded.data() + at, source, room, flags);
            ASSERT_EQ(step.result, 0u);
            ASSERT_EQ(step.src_used, source) << "every byte is taken, none read twice";
            const auto s = samples_of(step.out);
            pcm_out.insert(pcm_out.end(), s.begin(), s.end());
            at += step.src_used;
            flags = ACM_STREAMCONVERTF_BLOCKALIGN;
        }
        ASSERT_GT(pcm_out.size(), 11025u) << offset;
        // The frame that needs data from before the jump may be silent; nothing may click.
        int peak = 0;
        for (auto v : pcm_out) peak = std::max(peak, std::abs(int{v}));
        EXPECT_LT(peak, 0.5 * 32767 * 1.25) << offset;
        EXPECT_GT(tone_snr(pcm_out, 3 * 1152, 500, 22050), 15) << offset;  // measured 22+ dB
    }
}

}  // namespace

// ---- MS ADPCM on hostile input ----------------------------------------------------------------

TEST(MsAdpcm, CodesThatOnlyGrowTheStepStayInRange) {
    // Every code the largest (7, adaptation 768/256): unchecked, the step overflows within a
    // few dozen samples. The samples stay full scale, and the step stops growing.
    const std::vector<BYTE> coded = named("ms-adpcm:8000:1");
    const WORD block = wfx(coded).nBlockAlign;
    std::vector<BYTE> blocks(std::size_t{block} * 4, 0x77);
    for (std::size_t at = 0; at < blocks.size(); at += block) {
        blocks[at] = 1;                                // the second coefficient pair: (512, -256)
        blocks[at + 1] = 0xFF, blocks[at + 2] = 0x7F;  // the largest starting step
        for (int i = 3; i < 7; ++i) blocks[at + i] = 0x00;
        blocks[at + 4] = 0x80, blocks[at + 6] = 0x80;  // both starting samples -32768
    }
    TestStream dec(coded, suggested_pcm(coded));
    ASSERT_EQ(dec.result(), 0u);
    const auto pcm16 = samples_of(dec.convert_all(blocks, block));
    ASSERT_FALSE(pcm16.empty());
    for (std::size_t i = 2; i < pcm16.size(); ++i)
        ASSERT_TRUE(pcm16[i] == 32767 || pcm16[i] == -32768) << i << ": " << pcm16[i];
}
