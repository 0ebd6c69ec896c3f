// The simulated Windows: <usbprint.h>, the USB printer class driver's
// interface class and request codes.
#pragma once

#include <windows.h>

#define IOCTL_USBPRINT_GET_LPT_STATUS 0x220030
#define IOCTL_USBPRINT_GET_1284_ID 0x220034

// The SDK defines it where <initguid.h> came first; here it is always defined.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
