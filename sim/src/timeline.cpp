// Scripted changes of the simulated computer at given virtual times.
#include "computer.h"
