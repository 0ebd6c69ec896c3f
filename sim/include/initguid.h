// The simulated Windows: <initguid.h>. The simulator's headers define their
// GUIDs as constants already, so there is nothing to switch on.
#pragma once
