#include "platform/wave/alsa_pcm.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/wave/alsa_wave.h"

namespace {

std::mutex g_error_mutex;
std::string g_last_error;

void quiet_handler(const char* file, int line, const char* function, int err, const char* fmt,
                   ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    char full[768];
    std::snprintf(full, sizeof full, "%s:%d %s: %s%s%s", file, line, function, text,
                  err ? ": " : "", err ? snd_strerror(err) : "");
    note_error(full);
}

snd_pcm_stream_t stream_of(WaveDirection direction) {
    return direction == WaveDirection::input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

}  // namespace

PcmPtr open_pcm(const std::string& name, WaveDirection direction) {
    snd_pcm_t* pcm = nullptr;
    if (const int err = snd_pcm_open(&pcm, name.c_str(), stream_of(direction), SND_PCM_NONBLOCK);
        err < 0) {
        note_error("open " + name + ": " + snd_strerror(err));
        return nullptr;
    }
    PcmPtr owned(pcm);
    if (snd_pcm_type(pcm) == SND_PCM_TYPE_NULL) return nullptr;
    return owned;
}

snd_pcm_format_t sample_format(WORD bits) {
    return bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

void note_error(std::string text) {
    std::lock_guard lock(g_error_mutex);
    g_last_error = std::move(text);
}

void keep_alsa_messages() {
    snd_lib_error_set_handler(quiet_handler);
}

AlsaCounters& alsa_counters() {
    static AlsaCounters counters;
    return counters;
}

AlsaWaveStats alsa_wave_stats() {
    const AlsaCounters& c = alsa_counters();
    return {c.wakeups.load(), c.bytes_moved.load(), c.xruns.load(), c.stalls.load()};
}

std::string alsa_last_error() {
    std::lock_guard lock(g_error_mutex);
    return g_last_error;
}
