// `kelvane register` and `kelvane unregister`: the control library's self-registration in the
// per-user registry, as an installer would run it.
#pragma once

#include <span>

int register_verb(std::span<char*> args);
int unregister_verb(std::span<char*> args);
