// Tells assistive technology what the library's widgets are: each widget answers with its own
// role, name and state (SkinWidget), and offers its default action where it has one.
#pragma once

namespace quillon::skin {

// Installs the factory for the library's widgets; safe to call more than once.
void install_skin_accessibility();

}  // namespace quillon::skin
