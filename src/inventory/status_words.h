// The words for the spooler's status bits: a JSON key and a Russian text for
// each bit, in ascending bit order.
#pragma once

#include "output/text_buffer.h"

extern const StatusWord printer_status_words[];
extern const StatusWord job_status_words[];
