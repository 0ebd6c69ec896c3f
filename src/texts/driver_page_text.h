// What the driver test page says.
#pragma once

#include "printing/driver_page.h"

extern const DriverPageText kDriverPageText;
