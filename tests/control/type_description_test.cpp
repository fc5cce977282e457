// What containers and property browsers learn from the control's type descriptions.
#include "control/kelvane_type_info.h"
#include "tests/control/control_fixture.h"

namespace {

using TypeDescription = ControlFixture;

TEST_F(TypeDescription, ListsAll48MembersAndTheNineEventsWithTheirDispids) {
    const InterfaceDesc& members = kelvane_dispatch_desc();
    const InterfaceDesc& events = kelvane_events_desc();
    ASSERT_EQ(members.members.size(), 48u);
    ASSERT_EQ(events.members.size(), 9u);
    int properties = 0, methods = 0;
    for (DISPID id = 1; id <= 48; ++id) {
        const MemberDesc* m = members.find(id);
        ASSERT_NE(m, nullptr) << id;
        (m->kind == MemberKind::property ? properties : methods)++;
    }
    EXPECT_EQ(properties, 38);
    EXPECT_EQ(methods, 10);

    // The type library's listing order is not the DISPID order.
    const char* const listed[] = {"Volume",         "VolumeBalance",   "Gain",
                                  "devInput",       "devOutput",       "devInputName",
                                  "devOutputName",  "devInputMax",     "devOutputMax",
                                  "FormatString",   "wFormatTag",      "nChannels",
                                  "nSamplesPerSec", "nAvgBytesPerSec", "nBlockAlign",
                                  "wBitsPerSample", "AutoGainControl", "BufferSize",
                                  "BlocksCount",    "TypeRecordLevel", "TypePlayLevel",
                                  "Listen",         "infoCreationDate"};
    for (std::size_t i = 0; i < std::size(listed); ++i)
        EXPECT_EQ(members.members[i].name, listed[i]) << i;
    EXPECT_EQ(members.find("Gain")->dispid, 26);
    EXPECT_EQ(members.find("infoDisplayName")->dispid, 25);
    EXPECT_EQ(members.find("infoSourceSuppler")->dispid, 17);
    EXPECT_EQ(members.find("BlocksCount")->dispid, 38);

    const MemberDesc* seek = members.find("Seek");
    ASSERT_EQ(seek->params.size(), 2u);
    EXPECT_EQ(seek->dispid, 44);
    EXPECT_EQ(seek->params[0].name, "BlocksOffset");
    EXPECT_EQ(seek->params[0].type, VT_I4);
    EXPECT_EQ(seek->params[1].name, "Origin");
    EXPECT_EQ(seek->params[1].type, VT_I2);
    EXPECT_EQ(members.find("SetFormatFromMenu")->type, VT_I4);
    EXPECT_EQ(members.find("Play")->type, VT_EMPTY);

    const MemberDesc* errors = events.find("Errors");
    EXPECT_EQ(errors->dispid, 9);
    ASSERT_EQ(errors->params.size(), 2u);
    EXPECT_EQ(errors->params[0].name, "ErrorCode");
    EXPECT_EQ(errors->params[0].type, VT_I2);
    EXPECT_EQ(errors->params[1].type, VT_BSTR);
    EXPECT_EQ(events.find("VolumeChange")->dispid, 8);
    EXPECT_EQ(events.find("BlockRecord")->help, "Occurs when block to record");
}

TEST_F(TypeDescription, HelpStringsAndReadOnlyKindsAreThoseABrowserShows) {
    const InterfaceDesc& members = kelvane_dispatch_desc();
    EXPECT_EQ(members.find("VolumeBalance")->help,
              "Returns/sets the relative  volume between left and right channels in a stereo "
              "audio system for playback of WAV file.");
    EXPECT_EQ(members.find("Gain")->help,
              "Returns/sets a magnitude of gain for record of WAV file (uniform  channels).");
    EXPECT_EQ(members.find("SecToBlock")->help, "Convert millisecond to blocks.");
    for (const char* none : {"Listen", "infoName", "SetFormatFromMenu"})
        EXPECT_TRUE(members.find(none)->help.empty()) << none;
    int read_only = 0;
    for (const auto& m : members.members) read_only += m.read_only;
    EXPECT_EQ(read_only, 12);
    EXPECT_FALSE(members.find("Gain")->read_only);

    const TypeLibDesc& lib = kelvane_typelib_desc();
    EXPECT_EQ(lib.name, "KELVANELib");
    EXPECT_EQ(lib.help_file, "Kelvane.hlp");
    EXPECT_EQ(lib.doc, "Kelvane ActiveX Control module");
    EXPECT_EQ(members.doc, "Dispatch interface for Kelvane Control");
    EXPECT_EQ(kelvane_events_desc().doc, "Event interface for Kelvane Control");
    EXPECT_EQ(kelvane_class_desc().doc, "Kelvane Control");
}

TEST_F(TypeDescription, TheCreatedControlAnswersByNameAndByDispidAlike) {
    create();
    const InterfaceDesc* info = nullptr;
    ASSERT_EQ(control()->GetTypeInfo(0, 0, &info), S_OK);
    ASSERT_EQ(info->iid, DIID__DKelvane);
    const OLECHAR* names[] = {"BUFFERSIZE", "seek", "origin"};
    DISPID ids[3];
    ASSERT_EQ(control()->GetIDsOfNames(IID{}, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 6);
    ASSERT_EQ(control()->GetIDsOfNames(IID{}, names + 1, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 44);
    EXPECT_EQ(ids[1], 1);

    ASSERT_EQ(put("BufferSize", Variant::i4(1234)), S_OK);
    VARIANT raw;
    VariantInit(&raw);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(control()->Invoke(6, IID{}, 0, DISPATCH_PROPERTYGET, &none, &raw, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Variant::adopt(raw).as_i4(), 1234);
    EXPECT_EQ(control()->Invoke(49, IID{}, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        control()->Invoke(41, IID{}, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);

    auto container = ComPtr<IDispatch>(control()).as<IConnectionPointContainer>();
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__DKelvane, point.put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container->FindConnectionPoint(DIID__DKelvaneEvents, point.put()), S_OK);
}

}  // namespace
