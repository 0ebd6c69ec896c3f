// The Russian diagnostic report for a person: printers, devices, findings
// with advice, and the two test command lines.
#pragma once

// Gathers everything afresh, writes the whole report and, with `pause`,
// waits for Enter so a window opened by double-click does not vanish. Returns 0.
int report_command(bool pause);
