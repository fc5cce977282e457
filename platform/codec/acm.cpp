// The codec manager's front end: checks every argument once, picks the driver by format tag and
// keeps the stream bookkeeping (handles, headers, output that did not fit yet).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/out_of_memory.h"
#include "platform/codec/acm.h"
#include "platform/codec/driver.h"
#include "platform/codec/format_names.h"

namespace quillon::codec {

WaveFormat pcm_format(DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    wfx.cbSize = 0;
    return WaveFormat(wfx);
}

bool is_pcm16_partner(const WAVEFORMATEX& pcm, const WAVEFORMATEX& coded) {
    return pcm.wFormatTag == WAVE_FORMAT_PCM && pcm.wBitsPerSample == 16 &&
           pcm.nChannels == coded.nChannels && pcm.nSamplesPerSec == coded.nSamplesPerSec &&
           pcm.nBlockAlign == 2 * pcm.nChannels;
}

std::string rate_text(DWORD rate) {
    return std::to_string(rate) + " Hz";
}

std::string channels_text(WORD channels) {
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " ch";
}

std::span<const std::unique_ptr<CodecDriver>> drivers() {
    static const std::vector<std::unique_ptr<CodecDriver>> list = [] {
        std::vector<std::unique_ptr<CodecDriver>> v;
        v.push_back(make_pcm_driver());
        v.push_back(make_alaw_driver());
        v.push_back(make_mulaw_driver());
        v.push_back(make_ima_adpcm_driver());
        v.push_back(make_ms_adpcm_driver());
        v.push_back(make_gsm610_driver());
        v.push_back(make_mp3_driver());
        return v;
    }();
    return list;
}

CodecDriver* driver_for(WORD tag) {
    for (const auto& d : drivers())
        if (d->handles(tag)) return d.get();
    return nullptr;
}

namespace {

bool is_pcm_family(WORD tag) {
    return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT || tag == WAVE_FORMAT_EXTENSIBLE;
}

// The checks the driver contract promises; anything else is the driver's business.
bool sane(const WAVEFORMATEX& wfx) {
    const WORD most_channels = is_pcm_family(wfx.wFormatTag) ? kMaxPcmChannels : 2;
    return wfx.nChannels >= 1 && wfx.nChannels <= most_channels && wfx.nSamplesPerSec > 0 &&
           wfx.nBlockAlign > 0;
}

void copy_text(char* dst, std::size_t room, const std::string& text) {
    const std::size_t n = std::min(room - 1, text.size());
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

struct Stream {
    WaveFormat src;
    WaveFormat dst;
    std::unique_ptr<Converter> converter;
    bool src_is_pcm = false;
    std::vector<BYTE> pending;  // converted bytes that did not fit the caller's room yet
    std::size_t pending_pos = 0;
    std::vector<BYTE> scratch;
};

// Live streams by handle, so a stale or foreign handle is refused instead of followed.
std::mutex g_streams_mutex;
std::map<HACMSTREAM, std::unique_ptr<Stream>> g_streams;

Stream* find_stream(HACMSTREAM has) {
    std::lock_guard lock(g_streams_mutex);
    auto it = g_streams.find(has);
    return it == g_streams.end() ? nullptr : it->second.get();
}

std::mutex g_chooser_mutex;
AcmFormatChooserHook g_chooser;

// Header bookkeeping kept in dwReservedDriver: the owning stream and the prepared lengths.
enum : int { kOwner = 0, kPreparedSrc = 1, kPreparedDst = 2 };

MMRESULT check_header(HACMSTREAM has, const ACMSTREAMHEADER* pash) {
    if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    if (pash->dwReservedDriver[kOwner] != reinterpret_cast<DWORD_PTR>(has))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// Moves pending output into the caller's room; returns the bytes moved.
DWORD drain(Stream& s, BYTE* dst, DWORD room) {
    const std::size_t left = s.pending.size() - s.pending_pos;
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(left, room));
    if (n > 0) std::memcpy(dst, s.pending.data() + s.pending_pos, n);
    s.pending_pos += n;
    if (s.pending_pos == s.pending.size()) {
        s.pending.clear();
        s.pending_pos = 0;
    }
    return n;
}

// Delivers fresh output: what fits goes to the caller, the rest waits for the next call.
DWORD deliver(Stream& s, std::span<const BYTE> out, BYTE* dst, DWORD room) {
    DWORD n = 0;
    if (s.pending.empty()) {
        n = static_cast<DWORD>(std::min<std::size_t>(out.size(), room));
        if (n > 0) std::memcpy(dst, out.data(), n);
        out = out.subspan(n);
    }
    s.pending.insert(s.pending.end(), out.begin(), out.end());
    return n;
}

MMRESULT convert(Stream& s, ACMSTREAMHEADER& h, DWORD flags) {
    Converter& c = *s.converter;
    if (flags & ACM_STREAMCONVERTF_START) {
        c.reset();
        s.pending.clear();
        s.pending_pos = 0;
    }
    DWORD used_dst = drain(s, h.pbDst, h.cbDstLength);
    const Converter::Blocks b = c.blocks();
    DWORD whole = h.cbSrcLength / b.src;
    if (c.fixed_ratio() && s.pending.empty())
        whole = std::min(whole, (h.cbDstLength - used_dst) / b.dst);
    else if (c.fixed_ratio())
        whole = 0;  // the room is full of earlier output
    DWORD used_src = whole * b.src;
    if (used_src > 0) {
        s.scratch.clear();
        if (!c.convert({h.pbSrc, used_src}, s.scratch)) return MMSYSERR_ERROR;
        used_dst += deliver(s, s.scratch, h.pbDst + used_dst, h.cbDstLength - used_dst);
    }
    // The end of the stream takes the partial block too, but only once every whole block is in.
    if ((flags & ACM_STREAMCONVERTF_END) && h.cbSrcLength - used_src < b.src) {
        s.scratch.clear();
        if (!c.finish({h.pbSrc + used_src, h.cbSrcLength - used_src}, s.scratch))
            return MMSYSERR_ERROR;
        used_src = h.cbSrcLength;
        used_dst += deliver(s, s.scratch, h.pbDst + used_dst, h.cbDstLength - used_dst);
    }
    h.cbSrcLengthUsed = used_src;
    h.cbDstLengthUsed = used_dst;
    return MMSYSERR_NOERROR;
}

}  // namespace
}  // namespace quillon::codec

using namespace quillon::codec;

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric) {
    if (hao != nullptr) return MMSYSERR_INVALHANDLE;
    if (pMetric == nullptr) return MMSYSERR_INVALPARAM;
    if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
    DWORD largest = 0;
    for (const auto& d : drivers())
        for (WORD tag : d->tags()) largest = std::max(largest, d->largest_format_size(tag));
    std::memcpy(pMetric, &largest, sizeof largest);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatTagDetailsA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd, DWORD fdwDetails) {
    if (had != nullptr) return MMSYSERR_INVALHANDLE;
    if (paftd == nullptr || paftd->cbStruct < sizeof(ACMFORMATTAGDETAILSA))
        return MMSYSERR_INVALPARAM;
    if (fdwDetails > ACM_FORMATTAGDETAILSF_LARGESTSIZE) return MMSYSERR_INVALFLAG;

    // Tags in driver order; each is found by index, by value or as the largest of all.
    DWORD index = 0;
    const CodecDriver* found = nullptr;
    WORD found_tag = 0;
    DWORD found_index = 0;
    for (const auto& d : drivers()) {
        for (WORD tag : d->tags()) {
            bool match = false;
            switch (fdwDetails) {
                case ACM_FORMATTAGDETAILSF_INDEX:
                    match = index == paftd->dwFormatTagIndex;
                    break;
                case ACM_FORMATTAGDETAILSF_FORMATTAG:
                    match = tag == paftd->dwFormatTag;
                    break;
                default:  // LARGESTSIZE: of one tag, or of all when the tag is unknown
                    match = paftd->dwFormatTag == WAVE_FORMAT_UNKNOWN
                                ? found == nullptr || d->largest_format_size(tag) >
                                                          found->largest_format_size(found_tag)
                                : tag == paftd->dwFormatTag;
                    break;
            }
            if (match && (found == nullptr || fdwDetails == ACM_FORMATTAGDETAILSF_LARGESTSIZE)) {
                found = d.get();
                found_tag = tag;
                found_index = index;
            }
            ++index;
        }
    }
    if (found == nullptr) return ACMERR_NOTPOSSIBLE;

    DWORD count = 0;
    for (const WaveFormat& f : found->formats())
        if (f.wfx().wFormatTag == found_tag) ++count;
    paftd->dwFormatTagIndex = found_index;
    paftd->dwFormatTag = found_tag;
    paftd->cbFormatSize = found->largest_format_size(found_tag);
    paftd->fdwSupport = found_tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                     : ACMDRIVERDETAILS_SUPPORTF_CODEC;
    paftd->cStandardFormats = count;
    copy_text(paftd->szFormatTag, sizeof paftd->szFormatTag, found->tag_name(found_tag));
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatDetailsA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, DWORD fdwDetails) {
    if (had != nullptr) return MMSYSERR_INVALHANDLE;
    if (pafd == nullptr || pafd->cbStruct < sizeof(ACMFORMATDETAILSA) || pafd->pwfx == nullptr)
        return MMSYSERR_INVALPARAM;
    const WORD tag = static_cast<WORD>(pafd->dwFormatTag);
    CodecDriver* d = driver_for(tag);
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        if (fdwDetails == ACM_FORMATDETAILSF_FORMAT) {
            // A PCM format may come without its cbSize (16 bytes); anything else needs the full
            // header and as many extra bytes as it announces.
            if (pafd->cbwfx < 16 || pafd->pwfx->wFormatTag != tag) return MMSYSERR_INVALPARAM;
            WAVEFORMATEX head{};
            std::memcpy(&head, pafd->pwfx, std::min<DWORD>(pafd->cbwfx, sizeof head));
            if (pafd->cbwfx < sizeof head) head.cbSize = 0;
            if (tag == WAVE_FORMAT_PCM)
                head.cbSize = 0;
            else if (sizeof head + head.cbSize > pafd->cbwfx)
                return MMSYSERR_INVALPARAM;
            const WaveFormat format = head.cbSize == 0 ? WaveFormat(head) : WaveFormat(*pafd->pwfx);
            const std::string text = d && sane(format.wfx()) ? d->describe(format.wfx()) : "";
            if (text.empty()) return ACMERR_NOTPOSSIBLE;
            pafd->fdwSupport = tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                      : ACMDRIVERDETAILS_SUPPORTF_CODEC;
            copy_text(pafd->szFormat, sizeof pafd->szFormat, text);
            return MMSYSERR_NOERROR;
        }
        if (fdwDetails != ACM_FORMATDETAILSF_INDEX) return MMSYSERR_INVALFLAG;
        if (d == nullptr) return ACMERR_NOTPOSSIBLE;
        DWORD index = 0;
        for (const WaveFormat& f : d->formats()) {
            if (f.wfx().wFormatTag != tag) continue;
            if (index++ != pafd->dwFormatIndex) continue;
            if (pafd->cbwfx < f.bytes().size()) return MMSYSERR_INVALPARAM;
            std::memcpy(pafd->pwfx, f.bytes().data(), f.bytes().size());
            pafd->fdwSupport = tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                      : ACMDRIVERDETAILS_SUPPORTF_CODEC;
            copy_text(pafd->szFormat, sizeof pafd->szFormat, d->describe(f.wfx()));
            return MMSYSERR_NOERROR;
        }
        return ACMERR_NOTPOSSIBLE;
    });
}

MMRESULT acmFormatSuggest(HACMDRIVER had, WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest) {
    if (had != nullptr) return MMSYSERR_INVALHANDLE;
    if (pwfxSrc == nullptr || pwfxDst == nullptr) return MMSYSERR_INVALPARAM;
    if (fdwSuggest & ~ACM_FORMATSUGGESTF_TYPEMASK) return MMSYSERR_INVALFLAG;
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        const WaveFormat src(*pwfxSrc);
        CodecDriver* d = driver_for(src.wfx().wFormatTag);
        if (d == nullptr || !sane(src.wfx()) || !d->can_decode(src.wfx()))
            return ACMERR_NOTPOSSIBLE;
        // Only PCM is ever suggested: it is what the device format can hold.
        if ((fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && pwfxDst->wFormatTag != WAVE_FORMAT_PCM)
            return ACMERR_NOTPOSSIBLE;
        const WaveFormat suggestion = d->suggest_pcm(src.wfx());
        const WAVEFORMATEX& best = suggestion.wfx();
        DWORD rate = best.nSamplesPerSec;
        WORD channels = best.nChannels;
        WORD bits = best.wBitsPerSample;
        if (fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) channels = pwfxDst->nChannels;
        if (fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) rate = pwfxDst->nSamplesPerSec;
        if (fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) bits = pwfxDst->wBitsPerSample;
        const WaveFormat pcm = pcm_format(rate, channels, bits);
        // The restricted suggestion must still be something a stream can be opened for.
        if (channels != best.nChannels || rate != best.nSamplesPerSec ||
            bits != best.wBitsPerSample) {
            HACMSTREAM probe = nullptr;
            if (acmStreamOpen(&probe, nullptr, const_cast<WAVEFORMATEX*>(&src.wfx()),
                              const_cast<WAVEFORMATEX*>(&pcm.wfx()), nullptr, 0, 0,
                              ACM_STREAMOPENF_QUERY) != MMSYSERR_NOERROR)
                return ACMERR_NOTPOSSIBLE;
        }
        if (cbwfxDst < pcm.bytes().size()) return MMSYSERR_INVALPARAM;
        std::memcpy(pwfxDst, pcm.bytes().data(), pcm.bytes().size());
        return MMSYSERR_NOERROR;
    });
}

AcmFormatChooserHook acm_set_format_chooser(AcmFormatChooserHook hook) {
    std::lock_guard lock(g_chooser_mutex);
    std::swap(g_chooser, hook);
    return hook;
}

MMRESULT acmFormatChooseA(ACMFORMATCHOOSEA* pafmtc) {
    if (pafmtc == nullptr || pafmtc->cbStruct < sizeof(ACMFORMATCHOOSEA) || pafmtc->pwfx == nullptr)
        return MMSYSERR_INVALPARAM;
    const DWORD restrict_mask = ACM_FORMATENUMF_WFORMATTAG | ACM_FORMATENUMF_NCHANNELS |
                                ACM_FORMATENUMF_NSAMPLESPERSEC | ACM_FORMATENUMF_WBITSPERSAMPLE;
    const DWORD restrict = pafmtc->fdwEnum & restrict_mask;
    if (pafmtc->fdwEnum & ~restrict_mask) return MMSYSERR_NOTSUPPORTED;
    if (restrict != 0 && pafmtc->pwfxEnum == nullptr) return MMSYSERR_INVALPARAM;
    AcmFormatChooserHook hook;
    {
        std::lock_guard lock(g_chooser_mutex);
        hook = g_chooser;
    }
    if (!hook) return MMSYSERR_NOTSUPPORTED;
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        std::vector<AcmFormatChoice> choices = format_choices();
        if (restrict != 0) {
            const WAVEFORMATEX& e = *pafmtc->pwfxEnum;
            std::erase_if(choices, [&](const AcmFormatChoice& c) {
                const auto& w = *reinterpret_cast<const WAVEFORMATEX*>(c.format.data());
                return ((restrict & ACM_FORMATENUMF_WFORMATTAG) && w.wFormatTag != e.wFormatTag) ||
                       ((restrict & ACM_FORMATENUMF_NCHANNELS) && w.nChannels != e.nChannels) ||
                       ((restrict & ACM_FORMATENUMF_NSAMPLESPERSEC) &&
                        w.nSamplesPerSec != e.nSamplesPerSec) ||
                       ((restrict & ACM_FORMATENUMF_WBITSPERSAMPLE) &&
                        w.wBitsPerSample != e.wBitsPerSample);
            });
        }
        int chosen = -1;
        try {
            chosen = hook(*pafmtc, choices);
        } catch (...) {
            return MMSYSERR_ERROR;  // the host's failure must not unwind through a C-style call
        }
        if (chosen < 0) return ACMERR_CANCELED;
        if (static_cast<std::size_t>(chosen) >= choices.size()) return MMSYSERR_ERROR;
        const AcmFormatChoice& c = choices[static_cast<std::size_t>(chosen)];
        if (pafmtc->cbwfx < c.format.size()) return ACMERR_NOTPOSSIBLE;
        std::memcpy(pafmtc->pwfx, c.format.data(), c.format.size());
        copy_text(pafmtc->szFormatTag, sizeof pafmtc->szFormatTag, c.tag_name);
        copy_text(pafmtc->szFormat, sizeof pafmtc->szFormat, c.description);
        if (pafmtc->pszName != nullptr && pafmtc->cchName > 0) pafmtc->pszName[0] = '\0';
        return MMSYSERR_NOERROR;
    });
}

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, WAVEFORMATEX* pwfxSrc,
                       WAVEFORMATEX* pwfxDst, WAVEFILTER* pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
    const bool query = fdwOpen & ACM_STREAMOPENF_QUERY;
    if (phas != nullptr) *phas = nullptr;
    if (had != nullptr) return MMSYSERR_INVALHANDLE;
    if ((phas == nullptr && !query) || pwfxSrc == nullptr || pwfxDst == nullptr)
        return MMSYSERR_INVALPARAM;
    const DWORD known = ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC |
                        ACM_STREAMOPENF_NONREALTIME | CALLBACK_TYPEMASK;
    if (fdwOpen & ~known) return MMSYSERR_INVALFLAG;
    // Conversions run inside the caller's call; there is nobody to call back.
    if (pwfltr != nullptr || (fdwOpen & ACM_STREAMOPENF_ASYNC) || (fdwOpen & CALLBACK_TYPEMASK) ||
        dwCallback != 0)
        return MMSYSERR_NOTSUPPORTED;
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        auto s = std::make_unique<Stream>();
        s->src = WaveFormat(*pwfxSrc);
        s->dst = WaveFormat(*pwfxDst);
        const WAVEFORMATEX& src = s->src.wfx();
        const WAVEFORMATEX& dst = s->dst.wfx();
        if (!sane(src) || !sane(dst)) return ACMERR_NOTPOSSIBLE;
        s->src_is_pcm = is_pcm_family(src.wFormatTag);
        if (is_pcm_family(dst.wFormatTag)) {
            if (CodecDriver* d = driver_for(src.wFormatTag))
                s->converter = d->open_decoder(src, dst);
        } else if (s->src_is_pcm) {
            if (CodecDriver* d = driver_for(dst.wFormatTag))
                s->converter = d->open_encoder(src, dst);
        }
        if (!s->converter) return ACMERR_NOTPOSSIBLE;
        if (query) return MMSYSERR_NOERROR;
        auto handle = reinterpret_cast<HACMSTREAM>(s.get());
        std::lock_guard lock(g_streams_mutex);
        g_streams.emplace(handle, std::move(s));
        *phas = handle;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
    if (fdwClose != 0) return MMSYSERR_INVALFLAG;
    std::unique_ptr<Stream> doomed;  // destroyed outside the lock
    std::lock_guard lock(g_streams_mutex);
    auto it = g_streams.find(has);
    if (it == g_streams.end()) return MMSYSERR_INVALHANDLE;
    doomed = std::move(it->second);
    g_streams.erase(it);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize) {
    Stream* s = find_stream(has);
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    if (pdwOutputBytes == nullptr) return MMSYSERR_INVALPARAM;
    if (fdwSize & ~ACM_STREAMSIZEF_QUERYMASK) return MMSYSERR_INVALFLAG;
    const DWORD which = fdwSize & ACM_STREAMSIZEF_QUERYMASK;
    if (which != ACM_STREAMSIZEF_SOURCE && which != ACM_STREAMSIZEF_DESTINATION)
        return MMSYSERR_INVALFLAG;
    *pdwOutputBytes = 0;
    const Converter& c = *s->converter;
    const Converter::Blocks b = c.blocks();
    std::uint64_t out = 0;
    if (c.fixed_ratio()) {
        if (which == ACM_STREAMSIZEF_SOURCE) {
            // A PCM source's partial block is padded at the end of the stream, so it needs room;
            // a coded partial block can never be decoded.
            const std::uint64_t n =
                s->src_is_pcm ? (std::uint64_t{cbInput} + b.src - 1) / b.src : cbInput / b.src;
            out = n * b.dst;
        } else {
            out = std::uint64_t{cbInput / b.dst} * b.src;
        }
    } else {
        // Streaming converters: proportional to the byte rates, whole blocks of the asked side.
        const std::uint64_t from = which == ACM_STREAMSIZEF_SOURCE ? c.src_rate() : c.dst_rate();
        const std::uint64_t to = which == ACM_STREAMSIZEF_SOURCE ? c.dst_rate() : c.src_rate();
        const std::uint64_t block =
            which == ACM_STREAMSIZEF_SOURCE ? s->dst.wfx().nBlockAlign : s->src.wfx().nBlockAlign;
        if (which == ACM_STREAMSIZEF_SOURCE) {
            out = (cbInput * to + from - 1) / from;
            out = (out + block - 1) / block * block;
        } else {
            out = cbInput * to / from / block * block;
        }
    }
    if (out > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
    *pdwOutputBytes = static_cast<DWORD>(out);
    if (out == 0 && cbInput > 0) return ACMERR_NOTPOSSIBLE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare) {
    if (find_stream(has) == nullptr) return MMSYSERR_INVALHANDLE;
    if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
    if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
    if ((pash->pbSrc == nullptr && pash->cbSrcLength > 0) ||
        (pash->pbDst == nullptr && pash->cbDstLength > 0))
        return MMSYSERR_INVALPARAM;
    pash->dwReservedDriver[kOwner] = reinterpret_cast<DWORD_PTR>(has);
    pash->dwReservedDriver[kPreparedSrc] = pash->cbSrcLength;
    pash->dwReservedDriver[kPreparedDst] = pash->cbDstLength;
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert) {
    Stream* s = find_stream(has);
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = check_header(has, pash); r != MMSYSERR_NOERROR) return r;
    const DWORD known =
        ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
    if (fdwConvert & ~known) return MMSYSERR_INVALFLAG;
    // The lengths may shrink after preparing, never grow past the prepared buffers.
    if (pash->cbSrcLength > pash->dwReservedDriver[kPreparedSrc] ||
        pash->cbDstLength > pash->dwReservedDriver[kPreparedDst])
        return MMSYSERR_INVALPARAM;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        const MMRESULT r = convert(*s, *pash, fdwConvert);
        pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
        return r;
    });
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare) {
    if (find_stream(has) == nullptr) return MMSYSERR_INVALHANDLE;
    if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
    if (const MMRESULT r = check_header(has, pash); r != MMSYSERR_NOERROR) return r;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    pash->dwReservedDriver[kOwner] = 0;
    return MMSYSERR_NOERROR;
}
