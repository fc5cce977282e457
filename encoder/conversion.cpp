#include "encoder/conversion.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "encoder/mp3enc_ids.h"
#include "platform/com/stream.h"

namespace mp3enc {

namespace {

using Clock = std::chrono::steady_clock;
using kelvane::engine::WavSource;

}  // namespace

HRESULT read_failure_code(WavSource::Failure failure) {
    switch (failure) {
        case WavSource::Failure::missing:
            return STG_E_FILENOTFOUND;
        case WavSource::Failure::unreadable:
            return STG_E_READFAULT;
        default:
            return MP3ENC_E_INPUTFORMAT;
    }
}

HRESULT write_failure_code(int system_error) {
    switch (system_error) {
        case 0:
            return MP3ENC_E_ENCODER;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return STG_E_MEDIUMFULL;
        case EACCES:
        case EPERM:
        case EROFS:
            return STG_E_ACCESSDENIED;
        case ENOENT:
        case ENOTDIR:
            return STG_E_PATHNOTFOUND;
        default:
            return STG_E_WRITEFAULT;
    }
}

bool TextOverrides::set(const std::string& id, const std::string& text) {
    std::string upper = id;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "DISP") {
        display_name = text;
        return true;
    }
    if (upper.size() != 4) return false;
    const int slot =
        kelvane::engine::info_slot_index(mmioFOURCC(upper[0], upper[1], upper[2], upper[3]));
    if (slot < 0) return false;
    std::erase_if(slot_texts, [&](const auto& entry) { return entry.first == slot; });
    slot_texts.emplace_back(slot, text);
    return true;
}

kelvane::engine::InfoTexts TextOverrides::applied_to(kelvane::engine::InfoTexts texts) const {
    for (const auto& [slot, text] : slot_texts) texts.slots[static_cast<std::size_t>(slot)] = text;
    if (display_name) texts.display_name = *display_name;
    return texts;
}

std::unique_ptr<Conversion> Conversion::start(const std::string& input, const std::string& output,
                                              const SinkMaker& make_sink,
                                              std::function<void()> notify,
                                              ConversionFailure& failure) {
    if (input.empty() || output.empty()) {
        failure = {E_INVALIDARG, "an input and an output file are needed"};
        return nullptr;
    }
    std::unique_ptr<Conversion> c(new Conversion);
    WavSource& source = c->m_source;
    if (!source.open(input)) {
        failure = {read_failure_code(source.failure()), source.error()};
        return nullptr;
    }
    // The output replaces its file only at the end, but replacing the input itself would still
    // leave the user without it.
    std::error_code ignored;
    if (std::filesystem::equivalent(input, output, ignored)) {
        failure = {MP3ENC_E_SAMEFILE, output + ": is the input file itself"};
        return nullptr;
    }
    c->m_sink = make_sink(source, output, failure);
    if (!c->m_sink) return nullptr;
    c->m_rate = c->m_sink->rate();
    c->m_channels = c->m_sink->channels();
    c->m_total_frames = c->m_sink->expected_frames();
    c->m_notify = std::move(notify);
    c->m_worker = std::thread(&Conversion::work, c.get());
    return c;
}

Conversion::~Conversion() {
    stop();
}

void Conversion::stop() {
    m_stop.store(true, std::memory_order_release);
    join();
}

void Conversion::join() {
    if (m_worker.joinable()) m_worker.join();
}

double Conversion::speed() const {
    const double seconds = static_cast<double>(m_work_ns.load(std::memory_order_acquire)) / 1e9;
    if (seconds <= 0 || m_rate == 0) return 0;
    return static_cast<double>(m_samples.load(std::memory_order_acquire)) / m_rate / seconds;
}

void Conversion::work() {
    const auto begin = Clock::now();
    auto account = [&] {
        m_frames.store(m_sink->frames(), std::memory_order_release);
        m_work_ns.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - begin).count(),
            std::memory_order_release);
    };
    std::vector<BYTE> pcm;
    std::vector<std::int16_t> samples;
    // The first piece is converted even when Stop came at once: a file without audio (an MP3
    // of only its info frame) is one that players refuse.
    for (bool first = true; first || !m_stop.load(std::memory_order_acquire); first = false) {
        pcm.clear();
        if (!m_source.read(pcm))
            return fail(read_failure_code(m_source.failure()), m_source.error());
        samples.resize(pcm.size() / 2);
        std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
        if (!m_sink->write(samples)) return fail(m_sink->failure());
        m_samples.fetch_add(samples.size() / m_channels, std::memory_order_release);
        account();
        if (m_source.done()) break;
        m_notify();
    }
    const bool stopped = !m_source.done();
    if (!m_sink->finish()) return fail(m_sink->failure());
    account();
    if (!stopped) m_total_frames.store(m_sink->frames(), std::memory_order_release);
    end(stopped ? State::stopped : State::complete);
}

void Conversion::fail(HRESULT code, std::string description) {
    m_failure = {code, std::move(description)};
    // An unfinished sink takes its temporary file with it.
    m_sink.reset();
    end(State::failed);
}

void Conversion::end(State state) {
    m_state.store(state, std::memory_order_release);
    m_notify();
}

}  // namespace mp3enc
