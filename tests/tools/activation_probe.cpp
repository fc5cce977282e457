// A host in a folder of its own, with no control library beside it: it can create the control
// only through the per-user registry. Prints what it created, or why it could not.
#include <cstdio>

#include "platform/com/activation.h"
#include "platform/com/dispatch.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: activation_probe PROGID|{CLSID}\n");
        return 2;
    }
    CLSID clsid{};
    HRESULT hr = class_from_text(argv[1], &clsid);
    ComPtr<IDispatch> control;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid,
                              control.put_void());
    Variant size;
    if (SUCCEEDED(hr)) hr = dispatch_get(control.get(), "BufferSize", size);
    if (FAILED(hr)) {
        std::printf("%s: 0x%08X %s\n", argv[1], static_cast<unsigned>(hr), hresult_text(hr));
        return 1;
    }
    std::printf("created %s: BufferSize = %d\n", guid_to_string(clsid).c_str(),
                static_cast<int>(size.as_i4()));
    return 0;
}
