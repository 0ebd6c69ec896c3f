// The simulated Windows: <winspool.h>. Declarations are added as the program
// comes to use them.
#pragma once

#include <windows.h>
