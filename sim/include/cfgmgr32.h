// The simulated Windows: <cfgmgr32.h>. Declarations are added as the program
// comes to use them.
#pragma once

#include <windows.h>
