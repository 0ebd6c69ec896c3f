#include "texts/driver_page_text.h"

namespace {

// The Kazakh letters show whether the driver's font has them.
const WCHAR* const kLines[] = {
    L"Печать через драйвер", L"Принтер работает", L"0123456789", L"Ә Ғ Қ Ң Ө Ұ Ү Һ І", L"----------------------",
};

}  // namespace

const DriverPageText kDriverPageText = {L"Morvik", kLines, sizeof kLines / sizeof kLines[0], 2};
