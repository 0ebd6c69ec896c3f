#include "app/follow_up.h"

#include <stdlib.h>
#include <string.h>

#include "devices/device_inventory.h"
#include "output/output.h"
#include "printing/watch.h"
#include "texts/follow_texts.h"

void follow_up_for_person(const WCHAR* printer, DWORD job, bool escpos) {
    TextBuffer intro = {};
    append_follow_intro(&intro);
    write_output(intro.data, true);
    free(intro.data);

    FollowResult follow = follow_job(printer, job);
    // A job that hangs is told with what is plugged into its port now.
    DeviceInventory devices;
    memset(&devices, 0, sizeof devices);
    if (follow.followed && !follow.done) collect_usb_devices(&devices);

    TextBuffer text = {};
    append_follow_result(&text, follow, devices, escpos);
    write_output(text.data, true);
    free(text.data);
    free_job_state(&follow.state);
}
