// The simulated Windows: <usbprint.h>, the USB printer class driver's request codes.
#pragma once

#include <windows.h>

#define IOCTL_USBPRINT_GET_1284_ID 0x220034
