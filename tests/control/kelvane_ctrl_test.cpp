// The control as a container sees it: defaults, clamping, read-only members, device selection
// and the events each of them fires.
#include <cstdlib>

#include "platform/wave/virtual_card.h"
#include "tests/control/control_fixture.h"

namespace {

using Control = ControlFixture;

const char* const kInfoNames[] = {
    "infoCreationDate",       "infoProduct",   "infoMedium",    "infoArtists",
    "infoDigitizationSource", "infoDigitizer", "infoEngineers", "infoSourceSuppler",
    "infoKeyWords",           "infoComment",   "infoSubject",   "infoGenre",
    "infoCopyright",          "infoName",      "infoSoftware",  "infoDisplayName",
};

TEST_F(Control, ANewControlStartsWithTheDocumentedDefaults) {
    create();
    EXPECT_EQ(get_long("BufferSize"), 2000);
    EXPECT_EQ(get_long("devInput"), 1);
    EXPECT_EQ(get_long("devOutput"), 1);
    EXPECT_EQ(get("TypePlayLevel").type(), VT_I2);
    EXPECT_EQ(get_long("TypePlayLevel"), 1);
    EXPECT_EQ(get_long("TypeRecordLevel"), 1);
    EXPECT_EQ(get("Listen").type(), VT_BOOL);
    EXPECT_FALSE(get("Listen").as_bool());
    EXPECT_FALSE(get("AutoGainControl").as_bool());
    for (const char* name : kInfoNames) EXPECT_EQ(get_string(name), "") << name;
    EXPECT_EQ(get_long("wFormatTag"), 1);
    EXPECT_EQ(get_long("nChannels"), 1);
    EXPECT_EQ(get_long("nSamplesPerSec"), 8000);
    EXPECT_EQ(get_long("nAvgBytesPerSec"), 16000);
    EXPECT_EQ(get_long("nBlockAlign"), 2);
    EXPECT_EQ(get_long("wBitsPerSample"), 16);
    const std::string format = get_string("FormatString");
    EXPECT_EQ(format.rfind("PCM ", 0), 0u) << format;
    EXPECT_NE(format.find("8000"), std::string::npos) << format;
    EXPECT_NE(format.find("16"), std::string::npos) << format;
    EXPECT_EQ(get_string("devInputName"), "Quillon Virtual Input 1");
    EXPECT_EQ(get_string("devOutputName"), "Quillon Virtual Output 1");
    EXPECT_EQ(get_long("devInputMax"), 1);
    EXPECT_EQ(get_long("devOutputMax"), 1);
    EXPECT_EQ(get_long("BlocksCount"), 0);
    // Read from the virtual card's mixer: its recording volume.
    EXPECT_GT(get_long("Gain"), 0);
    EXPECT_LE(get_long("Gain"), 65535);
    EXPECT_FALSE(dirty());
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Control, WritesAreClampedNeverRefusedAndMarkTheControlModified) {
    create();
    ASSERT_EQ(put("TypeRecordLevel", Variant::i4(5)), S_OK);
    EXPECT_EQ(get_long("TypeRecordLevel"), 2);
    EXPECT_TRUE(dirty());
    ASSERT_EQ(put("TypeRecordLevel", Variant::i4(-3)), S_OK);
    EXPECT_EQ(get_long("TypeRecordLevel"), 0);
    ASSERT_EQ(put("typeplaylevel", Variant::i4(7)), S_OK);
    EXPECT_EQ(get_long("TypePlayLevel"), 2);
    ASSERT_EQ(put("BufferSize", Variant::i4(100)), S_OK);
    EXPECT_EQ(get_long("BufferSize"), 500);
    ASSERT_EQ(put("BufferSize", Variant::i4(200000)), S_OK);
    EXPECT_EQ(get_long("BufferSize"), 100000);
    ASSERT_EQ(put("BufferSize", Variant::i4(777)), S_OK);
    EXPECT_EQ(get_long("BufferSize"), 777);
    // Stored as written; clamped only when they reach a mixer.
    ASSERT_EQ(put("Volume", Variant::i4(-5)), S_OK);
    EXPECT_EQ(get_long("Volume"), -5);
    ASSERT_EQ(put("VolumeBalance", Variant::i4(300)), S_OK);
    EXPECT_EQ(get_long("VolumeBalance"), 300);
    ASSERT_EQ(put("Listen", Variant::i4(5)), S_OK);
    EXPECT_TRUE(get("Listen").as_bool());
    ASSERT_EQ(put("infoName", Variant::string("Take \"one\"")), S_OK);
    EXPECT_EQ(get_string("INFONAME"), "Take \"one\"");
    // A value with no reading in the member's type changes nothing.
    EXPECT_EQ(put("BufferSize", Variant::string("large")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(put("TypePlayLevel", Variant::i4(70000)), DISP_E_OVERFLOW);
    EXPECT_EQ(get_long("BufferSize"), 777);
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Control, GetOnlyPropertiesRefuseWritesAndNothingChanges) {
    create();
    const char* const get_only[] = {"devInputName", "devOutputName",  "devInputMax",
                                    "devOutputMax", "FormatString",   "wFormatTag",
                                    "nChannels",    "nSamplesPerSec", "nAvgBytesPerSec",
                                    "nBlockAlign",  "wBitsPerSample", "BlocksCount"};
    for (const char* name : get_only) {
        const Variant before = get(name);
        EXPECT_EQ(put(name, Variant::i4(3)), CTL_E_SETNOTSUPPORTED) << name;
        EXPECT_EQ(put(name, Variant::string("x")), CTL_E_SETNOTSUPPORTED) << name;
        EXPECT_EQ(format_value(get(name)), format_value(before)) << name;
    }
    EXPECT_FALSE(dirty());
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Control, SelectingADeviceTakesItsNameAndFiresExactlyOneEvent) {
    setenv("KELVANE_VIRTUAL_DEVICES", "2,3", 1);
    create();
    ASSERT_EQ(put("devInput", Variant::i4(2)), S_OK);
    EXPECT_EQ(take_events(), std::vector<std::string>{"GainChange()"});
    EXPECT_EQ(get_string("devInputName"), "Quillon Virtual Input 2");
    EXPECT_TRUE(dirty());

    ASSERT_EQ(put("devOutput", Variant::i4(3)), S_OK);
    EXPECT_EQ(take_events(), std::vector<std::string>{"VolumeChange()"});
    EXPECT_EQ(get_string("devOutputName"), "Quillon Virtual Output 3");

    ASSERT_EQ(put("devInput", Variant::i4(0)), S_OK);
    EXPECT_EQ(get_string("devInputName"), "Quillon Wave Mapper");
    ASSERT_EQ(put("devInput", Variant::i4(99)), S_OK);
    EXPECT_EQ(get_long("devInput"), 2);
    ASSERT_EQ(put("devOutput", Variant::i4(-4)), S_OK);
    EXPECT_EQ(get_long("devOutput"), 0);
    EXPECT_EQ(get_string("devOutputName"), "Quillon Wave Mapper");
    EXPECT_EQ(take_events(),
              (std::vector<std::string>{"GainChange()", "GainChange()", "VolumeChange()"}));
}

TEST_F(Control, DeviceCountsAreTakenOnceAtConstruction) {
    setenv("KELVANE_VIRTUAL_DEVICES", "1,1", 1);
    create();
    dynamic_cast<VirtualSoundCard&>(wave_backend()).set_device_counts(4, 4);
    EXPECT_EQ(get_long("devInputMax"), 1);
    ASSERT_EQ(put("devInput", Variant::i4(3)), S_OK);
    EXPECT_EQ(get_long("devInput"), 1);
}

TEST_F(Control, WithoutDevicesSelectionStoresZeroAndAnEmptyName) {
    setenv("KELVANE_VIRTUAL_DEVICES", "0,0", 1);
    create();
    EXPECT_EQ(get_long("devInputMax"), 0);
    EXPECT_EQ(get_string("devInputName"), "");
    ASSERT_EQ(put("devInput", Variant::i4(1)), S_OK);
    EXPECT_EQ(get_long("devInput"), 0);
    EXPECT_EQ(get_string("devInputName"), "");
    take_events();
    // No input or output device: Record and Play do nothing and say nothing.
    call("Record", {Variant::string("/tmp/never.wav")});
    call("Play", {Variant::string("/tmp/never.wav")});
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Control, TheMixerPollFiresVolumeThenGainEverySecondAtRunTimeOnly) {
    create(/*user_mode=*/true);
    MessageLoop::instance().run_for(999);
    EXPECT_TRUE(take_events().empty());
    MessageLoop::instance().run_for(2001);
    EXPECT_EQ(take_events(),
              (std::vector<std::string>{"VolumeChange()", "GainChange()", "VolumeChange()",
                                        "GainChange()", "VolumeChange()", "GainChange()"}));
    m_host->destroy();
    MessageLoop::instance().run_for(5000);
    EXPECT_TRUE(take_events().empty());

    create(/*user_mode=*/false);
    MessageLoop::instance().run_for(5000);
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Control, EngineMethodsWithNothingRunningFireNothing) {
    create();
    call("Stop");
    call("Pause");
    call("Continue");
    call("Seek", {Variant::i4(100), Variant::i2(3)});
    EXPECT_TRUE(take_events().empty());
    EXPECT_EQ(get_long("BlocksCount"), 0);
}

TEST_F(Control, BlockAndTimeConversionsUseTheDeviceRate) {
    create();
    EXPECT_EQ(call("BlockToSec", {Variant::i4(8000)}).as_i4(), 1000);
    EXPECT_EQ(call("BlockToSec", {Variant::i4(7)}).as_i4(), 0);
    EXPECT_EQ(call("SecToBlock", {Variant::i4(1000)}).as_i4(), 8000);
    EXPECT_EQ(call("SecToBlock", {Variant::i4(2147483647)}).as_i4(), 2147483647);
    EXPECT_EQ(call("secToBlock", {Variant::string("250")}).as_i4(), 2000);
}

}  // namespace
