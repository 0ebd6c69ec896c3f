// Wine test helper: decides console mode as the program does and writes a
// Russian and Kazakh text through the program's own writer. Exit code 10 in
// console mode, 11 otherwise, so the test sees what was detected.
#include <windows.h>

#include "app/dispatch.h"
#include "output/output.h"

extern "C" int wmain(int, wchar_t**) {
    console_mode = detect_console_mode();
    write_output("Принтер «XP-58» — готов; қазақ әріптері: ӘҒҚҢӨҰҮҺІ\r\n");
    return console_mode ? 10 : 11;
}
