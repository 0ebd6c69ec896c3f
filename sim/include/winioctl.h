// The simulated Windows: <winioctl.h>. Device requests are declared in
// <windows.h>; the USB printer class codes in <usbprint.h>.
#pragma once

#include <windows.h>
