// Memory running out ends the program at once with EXIT_OUT_OF_MEMORY,
// wherever it happens: an answer with a queue silently missing, or a text
// silently dropped, would be a wrong answer.
#pragma once

#include <stddef.h>

enum : int { EXIT_OUT_OF_MEMORY = 3 };

[[noreturn]] void out_of_memory();

// malloc that never returns null: it ends the program instead.
void* allocate(size_t size);
