// The control's saved-state loaders on arbitrary bytes. The first byte chooses the form: even,
// the rest is a stream as a container's stored layout holds it; odd, the rest is the text of a
// property bag. Whatever loads must keep the properties in their ranges, and saving what was
// loaded and loading that again must give the same state.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "control/kelvane_ctrl.h"

namespace {

ComModule& module() {
    static ComModule m;
    return m;
}

void check_ranges(const CKelvaneCtrl& control) {
    if (control.GetBufferSize() < CKelvaneCtrl::kMinBufferSize ||
        control.GetBufferSize() > CKelvaneCtrl::kMaxBufferSize)
        __builtin_trap();
    if (control.GetDevInput() < 0 || control.GetDevInput() > control.GetDevInputMax())
        __builtin_trap();
    if (control.GetDevOutput() < 0 || control.GetDevOutput() > control.GetDevOutputMax())
        __builtin_trap();
    for (SHORT level : {control.GetTypePlayLevel(), control.GetTypeRecordLevel()})
        if (level < 0 || level > 2) __builtin_trap();
    if (control.GetListen() != FALSE && control.GetListen() != TRUE) __builtin_trap();
}

std::vector<BYTE> saved_stream(CKelvaneCtrl& control) {
    auto stream = make_com<MemoryStream>();
    if (control.Save(static_cast<IStream*>(stream.get()), TRUE) != S_OK) __builtin_trap();
    return stream->bytes();
}

void stream_form(std::span<const BYTE> bytes) {
    auto control = make_com<CKelvaneCtrl>(module());
    auto stream = make_com<MemoryStream>(bytes);
    const HRESULT hr = control->Load(static_cast<IStream*>(stream.get()));
    if (hr != S_OK && hr != STG_E_READFAULT) __builtin_trap();
    if (stream->position() > bytes.size()) __builtin_trap();
    check_ranges(*control.get());

    const auto first = saved_stream(*control.get());
    auto again = make_com<CKelvaneCtrl>(module());
    auto copy = make_com<MemoryStream>(first);
    if (again->Load(static_cast<IStream*>(copy.get())) != S_OK) __builtin_trap();
    if (copy->position() != first.size() || saved_stream(*again.get()) != first) __builtin_trap();
}

void bag_form(std::string_view text) {
    auto parsed = PropertyBag::parse(text);
    if (!parsed.bag) {
        if (parsed.error.empty()) __builtin_trap();
        return;
    }
    auto control = make_com<CKelvaneCtrl>(module());
    if (control->Load(static_cast<IPropertyBag*>(parsed.bag.get())) != S_OK) __builtin_trap();
    check_ranges(*control.get());

    auto saved = make_com<PropertyBag>();
    if (control->Save(static_cast<IPropertyBag*>(saved.get()), TRUE, FALSE) != S_OK)
        __builtin_trap();
    const std::string written = saved->to_text();
    auto reread = PropertyBag::parse(written);
    if (!reread.bag || reread.bag->to_text() != written) __builtin_trap();
    auto again = make_com<CKelvaneCtrl>(module());
    again->Load(static_cast<IPropertyBag*>(reread.bag.get()));
    if (saved_stream(*again.get()) != saved_stream(*control.get())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The virtual card: the same devices and names on every run.
    setenv("KELVANE_AUDIO", "virtual", 1);
    setenv("KELVANE_VIRTUAL_DEVICES", "2,2", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const BYTE> rest(data + 1, size - 1);
    if (data[0] % 2 == 0)
        stream_form(rest);
    else
        bag_form({reinterpret_cast<const char*>(rest.data()), rest.size()});
    return 0;
}
