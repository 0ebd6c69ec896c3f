// The simulated device manager.
#include <setupapi.h>
