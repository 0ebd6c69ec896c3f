// The Russian diagnostic report for a person: printers, devices, findings
// with advice, and the two test command lines.
#pragma once

#include "survey/survey.h"
#include "output/text_buffer.h"

// The whole report of what the survey found; with `pause`, it ends asking
// for Enter (a window opened by double-click must not vanish).
void append_report(TextBuffer* text, const Survey& survey, bool pause);
