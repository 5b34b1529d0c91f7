// The disc-2 program's option flags, read from the check boxes at every
// click on "Installieren".
#pragma once

namespace Modul1 {
extern bool objekte3d;  // copy tevor2
extern bool baeume;     // copy CORINE_Europe
extern bool haeuser;    // copy vilage_overlay
} // namespace Modul1
