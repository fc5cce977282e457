// The type descriptions of the MP3 encoder component: what its type library tells a host.
#pragma once

#include "platform/com/typeinfo.h"

namespace mp3enc {

const InterfaceDesc& dispatch_desc();
const InterfaceDesc& events_desc();
const CoClassDesc& class_desc();
const TypeLibDesc& typelib_desc();

}  // namespace mp3enc
