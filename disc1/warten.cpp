#include "shell/warten.h"

void warten::Layout() { vela::_SetProperties(*this, WartenProperties(1)); }
