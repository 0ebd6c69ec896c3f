// The simulated GDI: printing through a driver.
#include <windows.h>
