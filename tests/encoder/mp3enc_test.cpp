// The MP3 encoder component as the conversion window uses it, and the WAV converter beside it:
// created by their ProgIDs through the component layer, called late-bound by dispatch id, their
// events received by a sink. Conversions run on the real clock, since the worker is a real
// thread; the tests wait for events, never for a time.
#include <gtest/gtest.h>
#include <filesystem>
#include <thread>

#include "control/engine/sound_file.h"
#include "control/engine/wav_file.h"
#include "encoder/mp3enc_ids.h"
#include "host/control_host.h"
#include "platform/com/stream.h"
#include "platform/loop/message_loop.h"
#include "tests/platform/codec/codec_test_util.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/mp3_layout.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace mp3enc;
using quillon::test::TempDir;

namespace {

struct Fired {
    std::string name;
    std::vector<Variant> args;
    std::thread::id thread;
};

// A PCM WAV file of a tone with a title in its INFO list.
void write_tone(const std::string& path, double seconds, DWORD rate = 44100, WORD channels = 2) {
    kelvane::engine::FileFormat format;
    format.wfx = {WAVE_FORMAT_PCM,
                  channels,
                  rate,
                  rate * 2 * channels,
                  static_cast<WORD>(2 * channels),
                  16,
                  0};
    kelvane::engine::WavWriter writer;
    ASSERT_EQ(writer.create(path, format), 0);
    // In pieces, so that long inputs never need their whole length in memory.
    for (double done = 0; done < seconds; done += 10) {
        const auto pcm = codec_test::sine(440, static_cast<int>(rate), channels,
                                          std::min(10.0, seconds - done), 0.3);
        ASSERT_GT(writer.write(codec_test::bytes_of(pcm)), 0);
    }
    kelvane::engine::InfoTexts texts;
    texts.slots[14] = "A tone";  // INAM
    texts.slots[1] = "Quillon";  // IART
    ASSERT_EQ(writer.finalize(texts), 0);
}

// One of the library's components, created by its ProgID.
class Component : public ::testing::Test {
  protected:
    explicit Component(const char* prog_id) : m_prog_id(prog_id) {}
    void SetUp() override {
        MessageLoop::instance().set_clock(ClockKind::real);
        CLSID clsid{};
        ASSERT_EQ(class_from_text(m_prog_id, &clsid), S_OK);
        ASSERT_EQ(m_host.create(clsid), S_OK);
    }
    void TearDown() override { m_host.destroy(); }

    IDispatch* encoder() const { return m_host.control(); }
    Variant get(DISPID id) {
        Variant v;
        EXPECT_EQ(dispatch_get(encoder(), id, v), S_OK);
        return v;
    }
    HRESULT start(const std::string& in, const std::string& out) {
        const Variant args[] = {Variant::string(in), Variant::string(out)};
        return dispatch_invoke_method(encoder(), dispidStart, args);
    }
    HRESULT stop() { return dispatch_invoke_method(encoder(), dispidStop, {}); }

    // Runs the message loop until the conversion has ended; false if it never does.
    bool run_until_end() {
        for (int i = 0; i < 2400 && !ended(); ++i) MessageLoop::instance().run_for(50);
        return ended();
    }
    bool run_until(const char* name) {
        for (int i = 0; i < 2400 && count(name) == 0; ++i) MessageLoop::instance().run_for(20);
        return count(name) > 0;
    }
    bool ended() const { return count("Finished") + count("Failed") > 0; }
    std::size_t count(const char* name) const {
        std::size_t n = 0;
        for (const auto& e : m_fired) n += e.name == name;
        return n;
    }
    const Fired* last(const char* name) const {
        for (auto it = m_fired.rbegin(); it != m_fired.rend(); ++it)
            if (it->name == name) return &*it;
        return nullptr;
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const char* m_prog_id;
    TempDir m_dir;
    std::vector<Fired> m_fired;
    ControlHost m_host{
        true, [this](const MemberDesc& event, std::span<const Variant> args) {
            m_fired.push_back(
                {std::string(event.name), {args.begin(), args.end()}, std::this_thread::get_id()});
        }};
};

class Encoder : public Component {
  protected:
    Encoder() : Component(kProgId) {}
};

struct Expected {
    DISPID id;
    const char* name;
    MemberKind kind;
    VARTYPE type;
    bool read_only;
    std::size_t params;
};

// Each member at its dispatch id, then the members both components share, and the events.
void expect_members(const ControlHost& host, std::initializer_list<Expected> own) {
    const InterfaceDesc* members = host.members();
    ASSERT_NE(members, nullptr);
    std::vector<Expected> all(own);
    for (const Expected& e : {Expected{10, "Stop", MemberKind::method, VT_EMPTY, false, 0},
                              Expected{11, "Start", MemberKind::method, VT_EMPTY, false, 2},
                              Expected{12, "TotalFrames", MemberKind::property, VT_I4, true, 0},
                              Expected{13, "Speed", MemberKind::property, VT_R8, true, 0},
                              Expected{14, "SetInfo", MemberKind::method, VT_EMPTY, false, 2}})
        all.push_back(e);
    for (const Expected& e : all) {
        const MemberDesc* m = members->find(e.id);
        ASSERT_NE(m, nullptr) << e.id;
        EXPECT_EQ(m->name, e.name);
        EXPECT_EQ(m->kind, e.kind) << e.name;
        EXPECT_EQ(m->type, e.type) << e.name;
        EXPECT_EQ(m->read_only, e.read_only) << e.name;
        EXPECT_EQ(m->params.size(), e.params) << e.name;
    }
    EXPECT_EQ(members->members.size(), all.size());
    const InterfaceDesc* events = host.events();
    ASSERT_NE(events, nullptr);
    for (auto [id, name, params] :
         {std::tuple{eventidProgress, "Progress", 1u}, std::tuple{eventidFinished, "Finished", 1u},
          std::tuple{eventidFailed, "Failed", 2u}}) {
        const MemberDesc* event = events->find(id);
        ASSERT_NE(event, nullptr) << name;
        EXPECT_EQ(event->name, name);
        EXPECT_EQ(event->params.size(), params) << name;
    }
    EXPECT_EQ(events->find(eventidProgress)->params[0].type, VT_I4);
}

TEST_F(Encoder, MembersSitAtTheDispatchIdsTheWindowUses) {
    expect_members(m_host, {{1, "Bitrate", MemberKind::property, VT_I4, false, 0},
                            {7, "VariableBitrate", MemberKind::property, VT_BOOL, false, 0},
                            {8, "CopyTags", MemberKind::property, VT_BOOL, false, 0}});
    EXPECT_EQ(get(dispidBitrate).as_i4(), 128000);
    EXPECT_FALSE(get(dispidVariableBitrate).as_bool());
    EXPECT_TRUE(get(dispidCopyTags).as_bool());
    EXPECT_EQ(get(dispidTotalFrames).as_i4(), 0);
    // What the window does at load, 8 before 7; and writes past the ends are clamped.
    EXPECT_EQ(dispatch_put(encoder(), dispidCopyTags, Variant::boolean(true)), S_OK);
    EXPECT_EQ(dispatch_put(encoder(), dispidVariableBitrate, Variant::boolean(true)), S_OK);
    EXPECT_TRUE(get(dispidVariableBitrate).as_bool());
    EXPECT_EQ(dispatch_put(encoder(), dispidBitrate, Variant::i4(1)), S_OK);
    EXPECT_EQ(get(dispidBitrate).as_i4(), 8000);
    EXPECT_EQ(dispatch_put(encoder(), dispidBitrate, Variant::i4(999999)), S_OK);
    EXPECT_EQ(get(dispidBitrate).as_i4(), 320000);
    EXPECT_EQ(dispatch_put(encoder(), dispidTotalFrames, Variant::i4(5)), CTL_E_SETNOTSUPPORTED);
    // Stop with nothing running is harmless.
    EXPECT_EQ(stop(), S_OK);
    const Variant bad[] = {Variant::string("XXXX"), Variant::string("x")};
    EXPECT_EQ(dispatch_invoke_method(encoder(), dispidSetInfo, bad), E_INVALIDARG);
}

TEST_F(Encoder, ConvertsOnAWorkerAndReportsOnTheGuiThread) {
    write_tone(m_dir.file("in.wav"), 3.0);
    ASSERT_EQ(dispatch_put(encoder(), dispidBitrate, Variant::i4(96000)), S_OK);
    ASSERT_EQ(start(m_dir.file("in.wav"), m_dir.file("out.mp3")), S_OK);
    // The call returned before any event: they come through the message loop.
    EXPECT_TRUE(m_fired.empty());
    const LONG estimate = get(dispidTotalFrames).as_i4();
    EXPECT_NEAR(estimate, 3.0 * 44100 / 1152, 3);
    ASSERT_TRUE(run_until_end());

    ASSERT_EQ(count("Failed"), 0u) << last("Failed")->args[1].as_string();
    ASSERT_EQ(count("Finished"), 1u);
    EXPECT_FALSE(last("Finished")->args[0].as_bool());
    EXPECT_EQ(m_fired.back().name, "Finished");
    LONG previous = 0;
    for (const auto& e : m_fired) {
        EXPECT_EQ(e.thread, std::this_thread::get_id()) << e.name;
        if (e.name != "Progress") continue;
        EXPECT_GT(e.args[0].as_i4(), previous);
        previous = e.args[0].as_i4();
    }
    // The last progress is the whole conversion, which the total now says exactly.
    const LONG total = get(dispidTotalFrames).as_i4();
    EXPECT_EQ(previous, total);
    EXPECT_EQ(total, estimate);
    EXPECT_GT(get(dispidSpeed).as_r8(), 0);

    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("out.mp3")));
    EXPECT_TRUE(layout.whole);
    EXPECT_EQ(layout.info_kind, "Info");
    EXPECT_EQ(static_cast<LONG>(layout.info_frames), total);
    EXPECT_EQ(static_cast<LONG>(layout.audio_frames), total);
    EXPECT_EQ(layout.audio_frames * 1152 - layout.delay - layout.padding, 3u * 44100);
    EXPECT_EQ(layout.tag_frames.at("TIT2"), std::string("\0A tone", 7));
    EXPECT_EQ(layout.tag_frames.at("TPE1"), std::string("\0Quillon", 8));
    EXPECT_EQ(files(), (std::vector<std::string>{"in.wav", "out.mp3"}));

    // Convert again, as the window allows after one conversion: average bit rate, no tag.
    m_fired.clear();
    ASSERT_EQ(dispatch_put(encoder(), dispidVariableBitrate, Variant::boolean(true)), S_OK);
    ASSERT_EQ(dispatch_put(encoder(), dispidCopyTags, Variant::boolean(false)), S_OK);
    ASSERT_EQ(start(m_dir.file("in.wav"), m_dir.file("out.mp3")), S_OK);
    ASSERT_TRUE(run_until_end());
    ASSERT_EQ(count("Finished"), 1u);
    const auto again = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("out.mp3")));
    EXPECT_EQ(again.info_kind, "Xing");
    EXPECT_EQ(again.tag_bytes, 0u);
    EXPECT_EQ(again.info_frames, again.audio_frames);
}

TEST_F(Encoder, StopLeavesAShorterCompleteFile) {
    write_tone(m_dir.file("long.wav"), 300.0);
    ASSERT_EQ(start(m_dir.file("long.wav"), m_dir.file("out.mp3")), S_OK);
    const LONG total = get(dispidTotalFrames).as_i4();
    ASSERT_TRUE(run_until("Progress"));
    const auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(stop(), S_OK);
    const auto took = std::chrono::steady_clock::now() - begun;
    // Reported, not asserted: how long the worker took to reach the end of its piece and finish
    // the file (the goal is well under 100 ms).
    RecordProperty(
        "stop_us",
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));

    // When Stop returns the work is over: the file is in place, whole, and says what it holds.
    EXPECT_EQ(files(), (std::vector<std::string>{"long.wav", "out.mp3"}));
    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("out.mp3")));
    EXPECT_TRUE(layout.whole);
    EXPECT_EQ(layout.info_frames, layout.audio_frames);
    EXPECT_LT(static_cast<LONG>(layout.audio_frames), total);

    ASSERT_TRUE(run_until_end());
    ASSERT_EQ(count("Finished"), 1u);
    EXPECT_TRUE(last("Finished")->args[0].as_bool());
    EXPECT_EQ(static_cast<std::size_t>(last("Progress")->args[0].as_i4()), layout.audio_frames);
    // The total stays that of the whole conversion, so the window shows how far it came.
    EXPECT_EQ(get(dispidTotalFrames).as_i4(), total);

    // Stopped before its first progress: the file still holds the first piece of audio.
    ASSERT_EQ(start(m_dir.file("long.wav"), m_dir.file("soon.mp3")), S_OK);
    ASSERT_EQ(stop(), S_OK);
    const auto soon = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("soon.mp3")));
    EXPECT_TRUE(soon.whole);
    EXPECT_GT(soon.audio_frames, 1u);
    EXPECT_EQ(soon.info_frames, soon.audio_frames);
}

TEST_F(Encoder, AMissingInputFailsTheStartCall) {
    EXPECT_EQ(start(m_dir.file("none.wav"), m_dir.file("out.mp3")), STG_E_FILENOTFOUND);
    // Fired before the call returned, naming the file.
    ASSERT_EQ(count("Failed"), 1u);
    EXPECT_EQ(last("Failed")->args[0].as_i4(), STG_E_FILENOTFOUND);
    EXPECT_NE(last("Failed")->args[1].as_string().find(m_dir.file("none.wav")), std::string::npos);
    EXPECT_EQ(get(dispidTotalFrames).as_i4(), 0);
    MessageLoop::instance().run_for(100);
    EXPECT_EQ(count("Finished") + count("Progress"), 0u);
    EXPECT_TRUE(files().empty());
}

TEST_F(Encoder, FailuresLeaveWhatTheUserHad) {
    quillon::test::write_bytes(m_dir.file("out.mp3"), {'m', 'i', 'n', 'e'});
    quillon::test::write_bytes(m_dir.file("notes.wav"), {'n', 'o', 't', 'e', 's'});
    const std::vector<unsigned char> mine = {'m', 'i', 'n', 'e'};
    EXPECT_EQ(start(m_dir.file("notes.wav"), m_dir.file("out.mp3")), MP3ENC_E_INPUTFORMAT);
    write_tone(m_dir.file("in.wav"), 1.0);
    const auto input = quillon::test::read_bytes(m_dir.file("in.wav"));
    // The same file for both (a chooser cancelled into the other box) would destroy the input.
    EXPECT_EQ(start(m_dir.file("in.wav"), m_dir.file("in.wav")), MP3ENC_E_SAMEFILE);
    EXPECT_EQ(start(m_dir.file("in.wav"), m_dir.file("no/such/out.mp3")), STG_E_PATHNOTFOUND);
    EXPECT_EQ(count("Failed"), 3u);
    EXPECT_EQ(quillon::test::read_bytes(m_dir.file("in.wav")), input);

    // A disk that fills up in the middle: a file size limit stands in for it.
    write_tone(m_dir.file("long.wav"), 60.0);
    quillon_test::FileSizeLimit full(200 * 1024);
    ASSERT_TRUE(full.ok());
    m_fired.clear();
    const HRESULT started = start(m_dir.file("long.wav"), m_dir.file("out.mp3"));
    const bool ended = run_until_end();
    full.lift();
    ASSERT_EQ(started, S_OK);
    ASSERT_TRUE(ended);
    ASSERT_EQ(count("Failed"), 1u);
    EXPECT_EQ(count("Finished"), 0u);
    EXPECT_EQ(last("Failed")->args[0].as_i4(), STG_E_MEDIUMFULL);
    EXPECT_NE(last("Failed")->args[1].as_string().find("out.mp3"), std::string::npos);
    EXPECT_EQ(quillon::test::read_bytes(m_dir.file("out.mp3")), mine);
    EXPECT_EQ(files(), (std::vector<std::string>{"in.wav", "long.wav", "notes.wav", "out.mp3"}));
}

TEST_F(Encoder, OneConversionAtATime) {
    write_tone(m_dir.file("long.wav"), 120.0);
    ASSERT_EQ(start(m_dir.file("long.wav"), m_dir.file("a.mp3")), S_OK);
    EXPECT_EQ(start(m_dir.file("long.wav"), m_dir.file("b.mp3")), MP3ENC_E_BUSY);
    ASSERT_EQ(stop(), S_OK);
    ASSERT_TRUE(run_until("Finished"));
    EXPECT_FALSE(fs::exists(m_dir.file("b.mp3")));
}

TEST_F(Encoder, SetInfoTakesThePlaceOfTheInputsTexts) {
    write_tone(m_dir.file("in.wav"), 0.5);
    const Variant title[] = {Variant::string("inam"), Variant::string("Other")};
    const Variant no_artist[] = {Variant::string("IART"), Variant::string("")};
    const Variant genre[] = {Variant::string("IGNR"), Variant::string("Jazz")};
    for (const auto& args : {title, no_artist, genre})
        ASSERT_EQ(dispatch_invoke_method(encoder(), dispidSetInfo, {args, 2}), S_OK);
    ASSERT_EQ(start(m_dir.file("in.wav"), m_dir.file("out.mp3")), S_OK);
    ASSERT_TRUE(run_until_end());
    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("out.mp3")));
    EXPECT_EQ(layout.tag_frames.at("TIT2"), std::string("\0Other", 6));
    EXPECT_EQ(layout.tag_frames.count("TPE1"), 0u);
    EXPECT_EQ(layout.tag_frames.at("TCON"), std::string("\0Jazz", 5));
}

TEST_F(Encoder, ReleasedWhileConvertingFinishesTheFile) {
    write_tone(m_dir.file("long.wav"), 120.0);
    ASSERT_EQ(start(m_dir.file("long.wav"), m_dir.file("out.mp3")), S_OK);
    // As when the program ends without the stop call: the form releases the encoder.
    m_host.destroy();
    MessageLoop::instance().run_for(50);  // notices still queued find no one
    EXPECT_TRUE(m_fired.empty() || m_fired.back().name == "Progress");
    EXPECT_EQ(files(), (std::vector<std::string>{"long.wav", "out.mp3"}));
    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(m_dir.file("out.mp3")));
    EXPECT_TRUE(layout.whole);
    EXPECT_EQ(layout.info_frames, layout.audio_frames);
}

// The WAV converter beside the encoder: the same machinery, a WAV file of another format out.
class WavConverter : public Component {
  protected:
    WavConverter() : Component(kWavConvProgId) {}
    // The format name, sample frames and texts of a WAV file as the recorder's own reader sees
    // them; false when it does not open.
    struct Read {
        WORD tag = 0;
        DWORD rate = 0;
        WORD channels = 0;
        DWORD frames = 0;
        kelvane::engine::InfoTexts texts;
    };
    static bool read(const std::string& path, Read& r) {
        kelvane::engine::SoundFile file;
        if (file.open_for_playback(path) < 0) return false;
        r = {file.file_format().wfx.wFormatTag, file.file_format().wfx.nSamplesPerSec,
             file.file_format().wfx.nChannels,
             file.total_pcm_bytes() / file.device_format().nBlockAlign, file.info()};
        file.close();
        return true;
    }
};

TEST_F(WavConverter, MembersSitAtTheirDispatchIds) {
    expect_members(m_host, {{2, "Format", MemberKind::property, VT_BSTR, false, 0},
                            {3, "OutputFormat", MemberKind::property, VT_BSTR, true, 0}});
    EXPECT_EQ(get(dispidFormat).as_string(), "");
    EXPECT_EQ(dispatch_put(encoder(), dispidFormat, Variant::string("ima-adpcm:22050:1")), S_OK);
    EXPECT_EQ(get(dispidFormat).as_string(), "ima-adpcm:22050:1");
    // A name that names no format is refused and the last one stays.
    EXPECT_EQ(dispatch_put(encoder(), dispidFormat, Variant::string("ogg:1:1")), E_INVALIDARG);
    EXPECT_EQ(get(dispidFormat).as_string(), "ima-adpcm:22050:1");
    EXPECT_EQ(dispatch_put(encoder(), dispidOutputFormat, Variant::string("x")),
              CTL_E_SETNOTSUPPORTED);
    EXPECT_EQ(stop(), S_OK);
}

TEST_F(WavConverter, ConvertsIntoTheFormatWithTheTexts) {
    write_tone(m_dir.file("in.wav"), 2.0);
    ASSERT_EQ(dispatch_put(encoder(), dispidFormat, Variant::string("ima-adpcm:22050:1")), S_OK);
    const Variant artist[] = {Variant::string("IART"), Variant::string("Me")};
    ASSERT_EQ(dispatch_invoke_method(encoder(), dispidSetInfo, artist), S_OK);
    ASSERT_EQ(start(m_dir.file("in.wav"), m_dir.file("out.wav")), S_OK);
    EXPECT_TRUE(m_fired.empty());
    // The estimate, or already the exact count: so short a conversion may be over by now.
    const LONG estimate = get(dispidTotalFrames).as_i4();
    EXPECT_GE(estimate, 2 * 22050);
    EXPECT_LT(estimate, 2 * 22050 + 1017);
    EXPECT_EQ(get(dispidOutputFormat).as_string(), "ima-adpcm:22050:1");
    ASSERT_TRUE(run_until_end());
    ASSERT_EQ(count("Failed"), 0u) << last("Failed")->args[1].as_string();
    EXPECT_FALSE(last("Finished")->args[0].as_bool());
    for (const auto& e : m_fired) EXPECT_EQ(e.thread, std::this_thread::get_id()) << e.name;
    // Every sample frame, the last block padded out.
    const LONG total = get(dispidTotalFrames).as_i4();
    EXPECT_EQ(last("Progress")->args[0].as_i4(), total);
    EXPECT_GE(total, 2 * 22050);
    EXPECT_LT(total, 2 * 22050 + 1017);  // one IMA block of 22050 Hz mono
    EXPECT_GT(get(dispidSpeed).as_r8(), 0);

    Read out;
    ASSERT_TRUE(read(m_dir.file("out.wav"), out));
    EXPECT_EQ(out.tag, WAVE_FORMAT_IMA_ADPCM);
    EXPECT_EQ(out.rate, 22050u);
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.texts.slots[14], "A tone");  // INAM, the input's
    EXPECT_EQ(out.texts.slots[1], "Me");       // IART, in place of the input's
    EXPECT_EQ(files(), (std::vector<std::string>{"in.wav", "out.wav"}));

    // Without a format: 16-bit PCM like the input.
    m_fired.clear();
    ASSERT_EQ(dispatch_put(encoder(), dispidFormat, Variant::string("")), S_OK);
    ASSERT_EQ(start(m_dir.file("out.wav"), m_dir.file("back.wav")), S_OK);
    ASSERT_TRUE(run_until_end());
    EXPECT_EQ(get(dispidOutputFormat).as_string(), "pcm:22050:1:16");
    ASSERT_TRUE(read(m_dir.file("back.wav"), out));
    EXPECT_EQ(out.tag, WAVE_FORMAT_PCM);
}

TEST_F(WavConverter, StopLeavesAShorterCompleteFile) {
    write_tone(m_dir.file("long.wav"), 300.0);
    quillon::test::write_bytes(m_dir.file("out.wav"), {'m', 'i', 'n', 'e'});
    ASSERT_EQ(dispatch_put(encoder(), dispidFormat, Variant::string("ms-adpcm:44100:2")), S_OK);
    ASSERT_EQ(start(m_dir.file("long.wav"), m_dir.file("out.wav")), S_OK);
    ASSERT_TRUE(run_until("Progress"));
    ASSERT_EQ(stop(), S_OK);
    Read out;
    ASSERT_TRUE(read(m_dir.file("out.wav"), out));
    EXPECT_EQ(out.tag, WAVE_FORMAT_ADPCM);
    EXPECT_GT(out.frames, 0u);
    EXPECT_LT(out.frames, 300u * 44100);
    ASSERT_TRUE(run_until_end());
    EXPECT_TRUE(last("Finished")->args[0].as_bool());
    EXPECT_EQ(files(), (std::vector<std::string>{"long.wav", "out.wav"}));
}

TEST_F(WavConverter, FailuresLeaveWhatTheUserHad) {
    quillon::test::write_bytes(m_dir.file("out.wav"), {'m', 'i', 'n', 'e'});
    const std::vector<unsigned char> mine = {'m', 'i', 'n', 'e'};
    EXPECT_EQ(start(m_dir.file("none.wav"), m_dir.file("out.wav")), STG_E_FILENOTFOUND);
    write_tone(m_dir.file("in.wav"), 1.0);
    EXPECT_EQ(start(m_dir.file("in.wav"), m_dir.file("in.wav")), MP3ENC_E_SAMEFILE);
    EXPECT_EQ(start(m_dir.file("in.wav"), m_dir.file("no/such/out.wav")), STG_E_PATHNOTFOUND);
    EXPECT_EQ(count("Failed"), 3u);

    write_tone(m_dir.file("long.wav"), 30.0);
    quillon_test::FileSizeLimit full(200 * 1024);
    ASSERT_TRUE(full.ok());
    m_fired.clear();
    const HRESULT started = start(m_dir.file("long.wav"), m_dir.file("out.wav"));
    const bool ended = run_until_end();
    full.lift();
    ASSERT_EQ(started, S_OK);
    ASSERT_TRUE(ended);
    ASSERT_EQ(count("Failed"), 1u);
    EXPECT_EQ(last("Failed")->args[0].as_i4(), STG_E_MEDIUMFULL);
    EXPECT_NE(last("Failed")->args[1].as_string().find("out.wav"), std::string::npos);
    EXPECT_EQ(quillon::test::read_bytes(m_dir.file("out.wav")), mine);
    EXPECT_EQ(files(), (std::vector<std::string>{"in.wav", "long.wav", "out.wav"}));
}

}  // namespace
