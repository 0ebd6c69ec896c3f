// Case folding of ASCII letters only, the same in both builds (the runtime's
// _stricmp has no portable name).
#pragma once

bool ascii_equal_nocase(const char* a, const char* b);
