// For a person after a test print: whether Windows handed the job to the
// printer, or why it hangs in the queue.
#pragma once

#include "devices/device_inventory.h"
#include "output/text_buffer.h"
#include "printing/watch.h"

// Said before the job is followed (up to 15 s).
void append_follow_intro(TextBuffer* text);

// What the following found. `devices`: the USB devices read after a job that
// hangs (the report names its port's device); `escpos`: the test receipt,
// not the driver page.
void append_follow_result(TextBuffer* text, const FollowResult& result, const DeviceInventory& devices, bool escpos);
