// The control's design-time face: the picture it draws, at the size it insists on, and the
// property page it names.
#include <set>

#include "control/kelvane_ctrl.h"
#include "control/kelvane_proppage.h"
#include "control/kelvane_resources.h"
#include "tests/control/control_fixture.h"

namespace {

// A surface of `width` x `height` pixels that a container draws the control into.
class Surface {
  public:
    Surface(int width, int height) : m_dc(CreateCompatibleDC(nullptr)) {
        m_bitmap = CreateCompatibleBitmap(m_dc, width, height);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Surface() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }
    COLORREF at(int x, int y) const { return GetPixel(m_dc, x, y); }

  private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
};

constexpr COLORREF kGround = RGB(192, 192, 192);

// The 16 colours of the standard palette.
const std::set<COLORREF> kPalette = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

class Face : public ControlFixture {
  protected:
    void offer(int width_px, int height_px) {
        const SIZEL size{static_cast<LONG>(width_px * 2540 / 96),
                         static_cast<LONG>(height_px * 2540 / 96)};
        ASSERT_EQ(object()->SetExtent(DVASPECT_CONTENT, &size), S_OK);
    }
    HRESULT draw(const Surface& surface, RECT bounds) {
        return ComPtr<IDispatch>(control()).as<IViewObject>()->Draw(DVASPECT_CONTENT, surface.dc(),
                                                                    &bounds);
    }
    SIZEL extent() {
        SIZEL size{};
        EXPECT_EQ(object()->GetExtent(DVASPECT_CONTENT, &size), S_OK);
        return size;
    }
    ComPtr<IOleObject> object() { return ComPtr<IDispatch>(control()).as<IOleObject>(); }
};

TEST_F(Face, TheControlIs32By32PixelsWhateverSizeTheContainerOffers) {
    create(false);
    EXPECT_EQ(extent().cx, 847);
    for (const auto& [w, h] : {std::pair{100, 50}, std::pair{8, 8}, std::pair{31, 33}}) {
        offer(w, h);
        EXPECT_NE(extent().cx, 847);
        Surface surface(w, h);
        ASSERT_EQ(draw(surface, {0, 0, w, h}), S_OK);
        EXPECT_EQ(extent().cx, 847) << w;
        EXPECT_EQ(extent().cy, 847) << h;
        // The saved extent changed, so a design-time container saves the form again.
        EXPECT_TRUE(dirty());
        ComPtr<IDispatch>(control()).as<IPersistStreamInit>()->InitNew();
    }
    Surface right(32, 32);
    ASSERT_EQ(draw(right, {0, 0, 32, 32}), S_OK);
    EXPECT_FALSE(dirty());  // already the right size: nothing changed
}

TEST_F(Face, TheFaceIsAMicrophoneWithWavesOnGreyInTheSixteenColours) {
    create(false);
    Surface surface(32, 32);
    ASSERT_EQ(draw(surface, {0, 0, 32, 32}), S_OK);
    std::set<COLORREF> used;
    int ground = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            used.insert(surface.at(x, y));
            ground += surface.at(x, y) == kGround;
        }
    for (COLORREF c : used) EXPECT_TRUE(kPalette.count(c)) << std::hex << c;
    EXPECT_GT(ground, 32 * 32 / 2);  // a grey ground around the picture
    for (const auto& [x, y] :
         {std::pair{0, 0}, std::pair{31, 0}, std::pair{0, 31}, std::pair{31, 31}})
        EXPECT_EQ(surface.at(x, y), kGround);
    EXPECT_TRUE(used.count(RGB(0, 0, 0)));    // outlines and stand
    EXPECT_TRUE(used.count(RGB(0, 0, 255)));  // waves
    // The waves are to the right of the microphone: blue appears only there.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_NE(surface.at(x, y), RGB(0, 0, 255)) << x << "," << y;
}

TEST_F(Face, TheFaceIsScaledIntoTheBoundsItIsGiven) {
    create(false);
    Surface small(32, 32);
    ASSERT_EQ(draw(small, {0, 0, 32, 32}), S_OK);
    Surface large(70, 70);
    ASSERT_EQ(draw(large, {3, 3, 67, 67}), S_OK);  // twice the size, at an offset
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(large.at(x + 3, y + 3), small.at(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(large.at(1, 1), RGB(0, 0, 0));  // outside the bounds: untouched

    RECT bounds{0, 0, 32, 32};
    auto view = ComPtr<IDispatch>(control()).as<IViewObject>();
    EXPECT_EQ(view->Draw(4, small.dc(), &bounds), DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, nullptr, &bounds), E_INVALIDARG);
}

TEST(FaceResources, TheToolboxPictureIsTheSameMicrophoneAt16Pixels) {
    struct Expect {
        WORD id;
        LONG side;
    };
    for (const Expect e : {Expect{IDB_KELVANE, 16}, Expect{IDB_KELVANE_FACE, 32}}) {
        HBITMAP bitmap = LoadBitmapA(kelvane_instance(), MAKEINTRESOURCEA(e.id));
        ASSERT_TRUE(bitmap) << e.id;
        BITMAP info{};
        ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
        EXPECT_EQ(info.bmWidth, e.side);
        EXPECT_EQ(info.bmHeight, e.side);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        std::set<COLORREF> used;
        for (int y = 0; y < e.side; ++y)
            for (int x = 0; x < e.side; ++x) used.insert(GetPixel(dc, x, y));
        EXPECT_LE(used.size(), 16u);
        EXPECT_TRUE(used.count(kGround) && used.count(RGB(0, 0, 0)) && used.count(RGB(0, 0, 255)));
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
}

TEST_F(Face, ThePropertiesVerbAsksTheHostsFrameForTheGeneralPage) {
    create(false);
    CAUUID pages;
    ASSERT_EQ(ComPtr<IDispatch>(control()).as<ISpecifyPropertyPages>()->GetPages(&pages), S_OK);
    EXPECT_EQ(pages.elems, std::vector<GUID>{CLSID_KelvanePropPage});

    // A host without a user interface has no frame, and the verb says so.
    set_property_frame_hook({});
    EXPECT_EQ(object()->DoVerb(OLEIVERB_PROPERTIES, nullptr), E_NOTIMPL);

    PropertyFrameRequest seen;
    set_property_frame_hook([&](const PropertyFrameRequest& request) {
        seen = request;
        return S_OK;
    });
    EXPECT_EQ(object()->DoVerb(OLEIVERB_PROPERTIES, nullptr), S_OK);
    set_property_frame_hook({});
    EXPECT_EQ(seen.caption, "Kelvane Control");
    EXPECT_EQ(seen.pages, std::vector<CLSID>{CLSID_KelvanePropPage});
    ASSERT_EQ(seen.objects.size(), 1u);
    auto shown = seen.objects[0].as<IDispatch>();
    EXPECT_EQ(shown.get(), control());
    EXPECT_EQ(object()->DoVerb(-99, nullptr), OLEOBJ_S_INVALIDVERB);
}

TEST(PropertyPage, GeneralIsAnEmptyPageOf250By62DialogUnits) {
    ComModule module;
    {
        auto page = make_com<CKelvanePropPage>(module);
        PROPPAGEINFO info{};
        ASSERT_EQ(page->GetPageInfo(&info), S_OK);
        EXPECT_EQ(info.title, "General");
        // 8-point type: a dialog unit is 6/4 pixels across and 13/8 down.
        EXPECT_EQ(info.size.cx, 375);
        EXPECT_EQ(info.size.cy, 101);

        ControlHost host(false, {});
        ASSERT_EQ(host.create(CLSID_Kelvane), S_OK);
        IUnknown* objects[] = {host.control()};
        ASSERT_EQ(page->SetObjects(1, objects), S_OK);
        ASSERT_EQ(page->Activate(nullptr, nullptr, TRUE), S_OK);
        EXPECT_TRUE(page->GetSafeHwnd());
        EXPECT_EQ(page->IsPageDirty(), S_FALSE);
        page->SetModifiedFlag();
        EXPECT_EQ(page->Apply(), S_OK);  // binds nothing: only the end-of-exchange step
        EXPECT_EQ(page->IsPageDirty(), S_FALSE);
        EXPECT_EQ(page->Deactivate(), S_OK);
        EXPECT_FALSE(page->GetSafeHwnd());
        EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
        EXPECT_EQ(module.objects(), 1);
    }
    EXPECT_TRUE(module.can_unload());
}

}  // namespace
