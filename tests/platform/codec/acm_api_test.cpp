// The codec manager's calls as the control makes them: details for the format text, the largest
// format, suggestions, stream opening, header handling and the chooser hook.
#include <cstring>

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

// The control's FormatString: tag name, a space, the format's description.
std::string format_string(std::vector<BYTE> format) {
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = sizeof tag;
    tag.dwFormatTag = wfx(format).wFormatTag;
    acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG);
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = wfx(format).wFormatTag;
    details.pwfx = wfx_ptr(format);
    details.cbwfx = wfx(format).wFormatTag == WAVE_FORMAT_PCM ? 16 : 18 + wfx(format).cbSize;
    acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT);
    return std::string(tag.szFormatTag) + " " + details.szFormat;
}

TEST(FormatText, TellsRateChannelsAndBitsOrBitRateApart) {
    EXPECT_EQ(format_string(pcm(8000, 1, 16)), "PCM 8000 Hz, 16 bit, mono");
    EXPECT_EQ(format_string(pcm(44100, 2, 8)), "PCM 44100 Hz, 8 bit, stereo");
    EXPECT_EQ(format_string(named("alaw:8000:1")), "G.711 A-law 8000 Hz, 8 bit, mono");
    EXPECT_EQ(format_string(named("mulaw:22050:2")), "G.711 mu-law 22050 Hz, 8 bit, stereo");
    EXPECT_EQ(format_string(named("ima-adpcm:22050:1")), "IMA ADPCM 22050 Hz, 4 bit, mono");
    EXPECT_EQ(format_string(named("ms-adpcm:11025:2")), "MS ADPCM 11025 Hz, 4 bit, stereo");
    EXPECT_EQ(format_string(named("gsm610:8000:1")), "GSM 6.10 8000 Hz, 13 kbit/s, mono");
    EXPECT_EQ(format_string(named("mp3:44100:2:128")), "MPEG Layer-3 44100 Hz, 128 kbit/s, stereo");
}

TEST(FormatText, RefusesWhatNoDriverKnows) {
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = sizeof tag;
    tag.dwFormatTag = 0x1234;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG),
              ACMERR_NOTPOSSIBLE);
    EXPECT_STREQ(tag.szFormatTag, "") << "a zeroed structure stays empty";
    tag.cbStruct = 4;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG),
              MMSYSERR_INVALPARAM);

    std::vector<BYTE> broken = pcm(8000, 1, 16);
    wfx_ptr(broken)->nBlockAlign = 3;  // does not match 16-bit mono
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = WAVE_FORMAT_PCM;
    details.pwfx = wfx_ptr(broken);
    details.cbwfx = 16;
    EXPECT_EQ(acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT), ACMERR_NOTPOSSIBLE);
    // A format that claims more extra bytes than the caller says it holds is not read past.
    std::vector<BYTE> ima = named("ima-adpcm:8000:1");
    details.dwFormatTag = WAVE_FORMAT_IMA_ADPCM;
    details.pwfx = wfx_ptr(ima);
    details.cbwfx = 18;
    EXPECT_EQ(acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT), MMSYSERR_INVALPARAM);
}

TEST(FormatText, EnumerationByIndexMatchesTheTagCounts) {
    for (DWORD t = 0;; ++t) {
        ACMFORMATTAGDETAILSA tag{};
        tag.cbStruct = sizeof tag;
        tag.dwFormatTagIndex = t;
        if (acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_INDEX) != 0) {
            EXPECT_EQ(t, 9u) << "seven listed tags plus float and extensible";
            break;
        }
        DWORD found = 0;
        for (;; ++found) {
            std::vector<BYTE> room(tag.cbFormatSize + 2);
            ACMFORMATDETAILSA d{};
            d.cbStruct = sizeof d;
            d.dwFormatTag = tag.dwFormatTag;
            d.dwFormatIndex = found;
            d.pwfx = wfx_ptr(room);
            d.cbwfx = static_cast<DWORD>(room.size());
            if (acmFormatDetailsA(nullptr, &d, ACM_FORMATDETAILSF_INDEX) != 0) break;
            EXPECT_EQ(wfx(room).wFormatTag, tag.dwFormatTag);
            EXPECT_NE(std::strlen(d.szFormat), 0u);
        }
        EXPECT_EQ(found, tag.cStandardFormats) << tag.szFormatTag;
    }
}

TEST(Metrics, LargestFormatIsTheAdpcmFormatWithItsCoefficients) {
    DWORD largest = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest), 0u);
    EXPECT_EQ(largest, sizeof(ADPCMWAVEFORMAT));
    EXPECT_EQ(acmMetrics(nullptr, 1, &largest), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr), MMSYSERR_INVALPARAM);
}

TEST(Suggest, ProposesSixteenBitPcmThatFitsTheDeviceFormat) {
    struct Case {
        std::vector<BYTE> coded;
        DWORD rate;
        WORD channels;
        WORD bits;
    };
    std::vector<BYTE> float96 = pcm(96000, 2, 32);
    wfx_ptr(float96)->wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    const std::vector<Case> cases = {
        {named("mp3:44100:2:128"), 44100, 2, 16},  {named("gsm610:8000:1"), 8000, 1, 16},
        {named("ms-adpcm:22050:2"), 22050, 2, 16}, {named("alaw:8000:1"), 8000, 1, 16},
        {pcm(11025, 1, 8), 11025, 1, 8},           {float96, 48000, 2, 16},
    };
    for (auto c : cases) {
        std::vector<BYTE> out(180, 0xEE);
        ASSERT_EQ(acmFormatSuggest(nullptr, wfx_ptr(c.coded), wfx_ptr(out), 180, 0), 0u);
        EXPECT_EQ(wfx(out).wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(wfx(out).nSamplesPerSec, c.rate);
        EXPECT_EQ(wfx(out).nChannels, c.channels);
        EXPECT_EQ(wfx(out).wBitsPerSample, c.bits);
        EXPECT_EQ(wfx(out).cbSize, 0);
        EXPECT_EQ(out[18], 0xEE) << "nothing beyond the 18 bytes of a PCM format is written";
        // And the conversion the control then opens exists.
        TestStream s(c.coded, std::vector<BYTE>(out.begin(), out.begin() + 18));
        EXPECT_EQ(s.result(), 0u);
    }
}

TEST(Suggest, RestrictionsAndRefusals) {
    std::vector<BYTE> mp3 = named("mp3:44100:2:128");
    std::vector<BYTE> out = pcm(8000, 1, 8);
    wfx_ptr(out)->wFormatTag = WAVE_FORMAT_ALAW;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, wfx_ptr(mp3), wfx_ptr(out), 18, ACM_FORMATSUGGESTF_WFORMATTAG),
        ACMERR_NOTPOSSIBLE)
        << "only PCM is suggested";
    out = pcm(8000, 1, 8);
    EXPECT_EQ(
        acmFormatSuggest(nullptr, wfx_ptr(mp3), wfx_ptr(out), 18, ACM_FORMATSUGGESTF_NCHANNELS),
        ACMERR_NOTPOSSIBLE)
        << "the MP3 decoder gives its own channel count";
    std::vector<BYTE> stereo = pcm(44100, 2, 16);
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(stereo), wfx_ptr(out), 18,
                               ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_WBITSPERSAMPLE |
                                   ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
              0u);
    EXPECT_EQ(wfx(out).nChannels, 1);
    EXPECT_EQ(wfx(out).wBitsPerSample, 8);
    EXPECT_EQ(wfx(out).nSamplesPerSec, 8000u);
    EXPECT_EQ(wfx(out).nAvgBytesPerSec, 8000u);
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(mp3), wfx_ptr(out), 16, 0), MMSYSERR_INVALPARAM);
    std::vector<BYTE> unknown = pcm(8000, 1, 16);
    wfx_ptr(unknown)->wFormatTag = 0x2000;
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(unknown), wfx_ptr(out), 18, 0), ACMERR_NOTPOSSIBLE);
    // PCM of more channels than devices play is folded into stereo; past eight it is refused.
    std::vector<BYTE> six = pcm(8000, 6, 16);
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(six), wfx_ptr(out), 18, 0), 0u);
    EXPECT_EQ(wfx(out).nChannels, 2);
    std::vector<BYTE> nine = pcm(8000, 9, 16);
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(nine), wfx_ptr(out), 18, 0), ACMERR_NOTPOSSIBLE);
    std::vector<BYTE> coded = named("alaw:8000:1");
    wfx_ptr(coded)->nChannels = 3;
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(coded), wfx_ptr(out), 18, 0), ACMERR_NOTPOSSIBLE);
}

TEST(StreamOpen, ImpossibleConversionsAreRefused) {
    const std::vector<std::pair<std::vector<BYTE>, std::vector<BYTE>>> impossible = {
        {pcm(8000, 1, 16), pcm(8000, 1, 24)},               // PCM writes 8 or 16 bits only
        {pcm(22050, 1, 16), named("ima-adpcm:8000:1")},     // codecs do not resample
        {pcm(8000, 2, 16), named("alaw:8000:1")},           // nor change channels
        {pcm(8000, 1, 8), named("mulaw:8000:1")},           // nor take 8-bit PCM
        {named("ima-adpcm:8000:1"), named("alaw:8000:1")},  // coded to coded
        {pcm(16000, 1, 16),
         [] {  // GSM is 8000 Hz only
             auto g = named("gsm610:8000:1");
             wfx_ptr(g)->nSamplesPerSec = 16000;
             return g;
         }()},
        {pcm(44100, 2, 16),
         [] {  // no such MP3 bit rate
             auto m = named("mp3:44100:2:128");
             wfx_ptr(m)->nAvgBytesPerSec = 15000;
             return m;
         }()},
        {pcm(8000, 1, 16), pcm(4000, 1, 16)},  // below the device rates
    };
    for (auto [src, dst] : impossible) {
        HACMSTREAM h = reinterpret_cast<HACMSTREAM>(1);
        EXPECT_EQ(acmStreamOpen(&h, nullptr, wfx_ptr(src), wfx_ptr(dst), nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  ACMERR_NOTPOSSIBLE)
            << wfx(src).wFormatTag << " -> " << wfx(dst).wFormatTag;
        EXPECT_EQ(h, nullptr);
    }
    std::vector<BYTE> a = pcm(8000, 1, 16);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, wfx_ptr(a), wfx_ptr(a), nullptr, 0, 0,
                            ACM_STREAMOPENF_QUERY),
              0u);
    // A PCM format's cbSize is junk as often as not; it must never make the manager read on.
    std::vector<BYTE> junk = a;
    wfx_ptr(junk)->cbSize = 0xFFFF;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, wfx_ptr(junk), wfx_ptr(junk), nullptr, 0, 0,
                            ACM_STREAMOPENF_QUERY),
              0u);
    HACMSTREAM h = nullptr;
    EXPECT_EQ(acmStreamOpen(&h, nullptr, wfx_ptr(a), wfx_ptr(a), nullptr, 0x1234, 0,
                            0x00030000 /* CALLBACK_FUNCTION */),
              MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(acmStreamOpen(&h, reinterpret_cast<HACMDRIVER>(8), wfx_ptr(a), wfx_ptr(a), nullptr, 0,
                            0, 0),
              MMSYSERR_INVALHANDLE);
}

TEST(StreamHeaders, MisuseIsRefusedNotFollowed) {
    TestStream s(pcm(8000, 1, 16), pcm(8000, 1, 8));
    TestStream other(pcm(8000, 1, 16), pcm(8000, 1, 8));
    std::vector<BYTE> src(100), dst(100);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = src.data();
    h.cbSrcLength = 100;
    h.pbDst = dst.data();
    h.cbDstLength = 50;
    EXPECT_EQ(acmStreamConvert(s.handle(), &h, ACM_STREAMCONVERTF_BLOCKALIGN), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(s.handle(), &h, 0), 0u);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamConvert(other.handle(), &h, 0), MMSYSERR_INVALPARAM) << "another stream's";
    h.cbSrcLength = 200;
    EXPECT_EQ(acmStreamConvert(s.handle(), &h, 0), MMSYSERR_INVALPARAM) << "grown past prepare";
    h.cbSrcLength = 99;  // shrinking is fine; the odd byte is a partial block
    EXPECT_EQ(acmStreamConvert(s.handle(), &h, ACM_STREAMCONVERTF_BLOCKALIGN), 0u);
    EXPECT_EQ(h.cbSrcLengthUsed, 98u);
    EXPECT_EQ(h.cbDstLengthUsed, 49u);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(acmStreamConvert(s.handle(), &h, 0x100), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle(), &h, 0), 0u);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle(), &h, 0), ACMERR_UNPREPARED);

    DWORD out = 0;
    EXPECT_EQ(acmStreamSize(s.handle(), 10, &out, 7), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamSize(s.handle(), 10, nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST(StreamHandles, ClosedAndForeignHandlesAreRefused) {
    std::vector<BYTE> a = pcm(8000, 1, 16);
    HACMSTREAM h = nullptr;
    ASSERT_EQ(acmStreamOpen(&h, nullptr, wfx_ptr(a), wfx_ptr(a), nullptr, 0, 0,
                            ACM_STREAMOPENF_NONREALTIME),
              0u);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(acmStreamClose(h, 0), 0u);
    DWORD out = 0;
    EXPECT_EQ(acmStreamSize(h, 10, &out, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(h, 0), MMSYSERR_INVALHANDLE) << "closing twice";
    int not_a_stream = 0;
    EXPECT_EQ(acmStreamClose(reinterpret_cast<HACMSTREAM>(&not_a_stream), 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(nullptr, 0), MMSYSERR_INVALHANDLE);
}

TEST(StreamSize, TooSmallForOneBlockIsNotPossible) {
    std::vector<BYTE> ima = named("ima-adpcm:8000:1");
    TestStream dec(ima, suggested_pcm(ima));
    DWORD out = 123;
    EXPECT_EQ(acmStreamSize(dec.handle(), 1009, &out, ACM_STREAMSIZEF_DESTINATION),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(acmStreamSize(dec.handle(), 1010, &out, ACM_STREAMSIZEF_DESTINATION), 0u);
    EXPECT_EQ(out, 256u);
    EXPECT_EQ(acmStreamSize(dec.handle(), 0, &out, ACM_STREAMSIZEF_DESTINATION), 0u);
    EXPECT_EQ(out, 0u);
}

// ---- The format chooser ----------------------------------------------------------------------

class Chooser : public ::testing::Test {
  protected:
    void TearDown() override { acm_set_format_chooser({}); }

    ACMFORMATCHOOSEA request(std::vector<BYTE>& buffer) {
        ACMFORMATCHOOSEA c{};
        c.cbStruct = sizeof c;
        c.pwfx = wfx_ptr(buffer);
        c.cbwfx = static_cast<DWORD>(buffer.size());
        c.pszTitle = "Choose Format WAV file";
        return c;
    }
};

TEST_F(Chooser, WithoutAHookNothingIsChosen) {
    std::vector<BYTE> buffer(180);
    auto c = request(buffer);
    EXPECT_EQ(acmFormatChooseA(&c), MMSYSERR_NOTSUPPORTED);
}

TEST_F(Chooser, TheHookSeesEveryFormatAndItsChoiceIsCopied) {
    std::size_t offered = 0;
    std::string title;
    acm_set_format_chooser([&](const ACMFORMATCHOOSEA& r, std::span<const AcmFormatChoice> list) {
        offered = list.size();
        title = r.pszTitle;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].name == "ms-adpcm:22050:2") return static_cast<int>(i);
        return -1;
    });
    std::vector<BYTE> buffer(180, 0);
    auto c = request(buffer);
    ASSERT_EQ(acmFormatChooseA(&c), 0u);
    EXPECT_EQ(offered, qc::format_choices().size());
    EXPECT_EQ(title, "Choose Format WAV file");
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 50), named("ms-adpcm:22050:2"));
    EXPECT_STREQ(c.szFormatTag, "MS ADPCM");
    EXPECT_STREQ(c.szFormat, "22050 Hz, 4 bit, stereo");
}

TEST_F(Chooser, CancelSmallRoomRestrictionsAndAFailingHook) {
    std::vector<BYTE> buffer(180, 0);
    auto c = request(buffer);
    acm_set_format_chooser(
        [](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice>) { return -1; });
    EXPECT_EQ(acmFormatChooseA(&c), ACMERR_CANCELED);

    acm_set_format_chooser([](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> list) {
        for (const auto& choice : list)
            if (wfx(choice.format).wFormatTag != WAVE_FORMAT_GSM610) return 999;
        return 0;
    });
    std::vector<BYTE> only = named("gsm610:8000:1");
    c.fdwEnum = ACM_FORMATENUMF_WFORMATTAG;
    c.pwfxEnum = wfx_ptr(only);
    c.cbwfx = 19;  // one byte short of the GSM format
    EXPECT_EQ(acmFormatChooseA(&c), ACMERR_NOTPOSSIBLE);
    c.cbwfx = 20;
    EXPECT_EQ(acmFormatChooseA(&c), 0u);
    EXPECT_EQ(wfx(buffer).wFormatTag, WAVE_FORMAT_GSM610);

    acm_set_format_chooser([](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice>) -> int {
        throw std::runtime_error("dialog failed");
    });
    EXPECT_EQ(acmFormatChooseA(&c), MMSYSERR_ERROR);
    c.fdwEnum = 0;
    acm_set_format_chooser([](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> list) {
        return static_cast<int>(list.size());
    });
    EXPECT_EQ(acmFormatChooseA(&c), MMSYSERR_ERROR) << "an index past the list";
}

}  // namespace

TEST(StreamConvert, MoreChannelsFoldIntoStereoAndMono) {
    // One frame of three channels: left, right and a centre that both sides share.
    const std::vector<std::int16_t> frame = {1000, 2000, 3000};
    std::vector<BYTE> three = pcm(8000, 3, 16);
    TestStream to_stereo(three, pcm(8000, 2, 16));
    ASSERT_EQ(to_stereo.result(), 0u);
    EXPECT_EQ(samples_of(to_stereo.convert_all(bytes_of(frame), 6)),
              (std::vector<std::int16_t>{1667, 2333}));  // (side + centre / 2) / 1.5
    TestStream to_mono(three, pcm(8000, 1, 16));
    ASSERT_EQ(to_mono.result(), 0u);
    EXPECT_EQ(samples_of(to_mono.convert_all(bytes_of(frame), 6)),
              (std::vector<std::int16_t>{2000}));
    // Devices never get more than two.
    TestStream refused(pcm(8000, 2, 16), three);
    EXPECT_EQ(refused.result(), ACMERR_NOTPOSSIBLE);
}
