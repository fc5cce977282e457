// The type descriptions of the wave recorder control: its dispatch and event interfaces, its
// class and its type library, as the control and its registration describe them.
#pragma once

#include <string_view>

#include "control/kelvane_ids.h"
#include "platform/com/typeinfo.h"

const InterfaceDesc& kelvane_dispatch_desc();
// The name of info property `index` (0..15, in DISPID order), as the type library spells it.
std::string_view info_property_name(int index);
const InterfaceDesc& kelvane_events_desc();
const CoClassDesc& kelvane_class_desc();
const TypeLibDesc& kelvane_typelib_desc();
