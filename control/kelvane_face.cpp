// The control's only drawing: its face in a design-time container.
#include "control/kelvane_ctrl.h"
#include "control/kelvane_resources.h"

void CKelvaneCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT& /*invalid*/) {
    HBITMAP bitmap = LoadBitmapA(kelvane_instance(), MAKEINTRESOURCEA(IDB_KELVANE_FACE));
    BITMAP info{};
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) {
        if (bitmap) DeleteObject(bitmap);
        return;
    }
    // The control is always as big as its picture, whatever size the container offers.
    int width = 0, height = 0;
    GetControlSize(&width, &height);
    if (width != info.bmWidth || height != info.bmHeight)
        SetControlSize(info.bmWidth, info.bmHeight);

    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    StretchBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
               memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
}
