#include "encoder/mp3_sink.h"

#include "encoder/info_tags.h"
#include "platform/codec/mp3_file.h"

namespace mp3enc {

namespace {

using quillon::codec::Mp3FileWriter;

// LAME's own default quality: what a person running the encoder by hand gets.
constexpr int kLameQuality = 3;

class Mp3Sink final : public ConversionSink {
  public:
    Mp3Sink(std::unique_ptr<Mp3FileWriter> writer, DWORD rate, WORD channels)
        : m_writer(std::move(writer)), m_rate(rate), m_channels(channels) {}

    DWORD rate() const override { return m_rate; }
    WORD channels() const override { return m_channels; }
    bool write(std::span<const std::int16_t> samples) override { return m_writer->write(samples); }
    bool finish() override { return m_writer->finish(); }
    std::uint64_t frames() const override { return m_writer->frames(); }
    std::uint64_t expected_frames() const override { return m_writer->expected_frames(); }
    ConversionFailure failure() const override {
        return {write_failure_code(m_writer->failure().system_error), m_writer->failure().text};
    }

  private:
    std::unique_ptr<Mp3FileWriter> m_writer;
    DWORD m_rate;
    WORD m_channels;
};

}  // namespace

SinkMaker mp3_sink(const Mp3Settings& settings) {
    return [settings](kelvane::engine::WavSource& source, const std::string& output,
                      ConversionFailure& failure) -> std::unique_ptr<ConversionSink> {
        const DWORD rate = Mp3FileWriter::rate_for(source.rate(), settings.kbps);
        const WORD channels = source.channels();
        if (!source.start(rate, channels)) {
            failure = {read_failure_code(source.failure()), source.error()};
            return nullptr;
        }
        quillon::codec::Mp3FileSettings file;
        file.rate = rate;
        file.channels = channels;
        file.kbps = settings.kbps;
        file.average = settings.average;
        file.quality = kLameQuality;
        file.expected_samples = source.expected_frames();
        if (settings.tags) file.tags = id3_texts(settings.texts.applied_to(source.info()));
        Mp3FileWriter::Failure refused;
        auto writer = Mp3FileWriter::create(output, file, refused);
        if (!writer) {
            failure = {write_failure_code(refused.system_error), refused.text};
            return nullptr;
        }
        return std::make_unique<Mp3Sink>(std::move(writer), rate, channels);
    };
}

}  // namespace mp3enc
