// The type descriptions of the encoder library's components: what its type library tells a
// host of the MP3 encoder and of the WAV converter.
#pragma once

#include "platform/com/typeinfo.h"

namespace mp3enc {

const InterfaceDesc& dispatch_desc();
const InterfaceDesc& events_desc();
const CoClassDesc& class_desc();
const InterfaceDesc& wavconv_dispatch_desc();
const InterfaceDesc& wavconv_events_desc();
const CoClassDesc& wavconv_class_desc();
const TypeLibDesc& typelib_desc();

}  // namespace mp3enc
