// The device ID parser on its own, as the fuzzer drives it. Every answer the
// program itself passes is at most 1024 bytes (tests/e2e/cases/devices.json);
// a longer one must still keep to the parser's own text room.
#include <gtest/gtest.h>

#include <string>

#include "devices/device_inventory.h"

namespace {

TEST(DeviceIdAnswer, ALongerAnswerKeepsToTheTextRoom) {
    const std::string text = "DES:" + std::string(1006, 'd') + ";MDL:0123456789;";
    std::string answer = std::string("\x04\x4c", 2) + text;  // 1100 bytes, as the length says
    answer.resize(1100, 'x');
    UsbDevice device = {};
    store_device_id_answer(reinterpret_cast<const BYTE*>(answer.data()), DWORD(answer.size()), &device);
    // 1023 characters of text: the model's digits start at the 1016th.
    EXPECT_STREQ(device.mdl, "01234567");
}

}  // namespace
