#include "texts/send_result.h"

#include <string>
#include <vector>

#include "harness.h"
#include "inventory/printer_inventory.h"
#include "output/output.h"

namespace {

class SendResultTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        console_mode = true;
    }
    void TearDown() override { console_mode = false; }

    // Renders at a console and returns what the person sees.
    std::string render(const std::string& result, const std::u16string& name) {
        sim::computer().stdout_kind = sim::StdoutKind::console;
        sim::computer().console_text.clear();
        render_send_result(result.c_str(), reinterpret_cast<const WCHAR*>(name.c_str()));
        EXPECT_EQ(sim::computer().stdout_bytes, "");  // the JSON is not written as well
        EXPECT_TRUE(sim::leaks().empty());
        return sim::utf16_to_utf8(sim::computer().console_text);
    }

    // A computer whose queues have these names, in this order.
    void queues(const std::vector<std::string>& names) {
        sim::reset();
        for (const std::string& name : names) {
            sim::Printer p;
            p.name = sim::utf8_to_utf16(name);
            p.port = u"USB001";
            p.driver = u"Receipt Driver";
            sim::computer().spooler.printers.push_back(p);
        }
    }
};

const std::string kOpenFailed =
    "{\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,\"message\":\"The printer name is invalid\","
    "\"printer\":\"x\"}\n";

std::string missing(const std::string& given) {
    return "ОШИБКА: принтера «" + given + "» в Windows нет. Имя нужно писать точно как в списке, с теми же пробелами.\r\n";
}

std::string suggestion(const std::string& name) {
    return "\r\nПохоже, это «" + name + "». Запустите:\r\n  morvik-helper.exe test \"" + name + "\"\r\n";
}

// The printer list of a computer whose queues carry no marks.
std::string listing(const std::vector<std::string>& names) {
    std::string text = "\r\nПринтеры этого компьютера:\r\n";
    if (names.empty()) text += "  (ни одного)\r\n";
    for (const std::string& name : names) text += "  " + name + "\r\n";
    return text;
}

TEST_F(SendResultTest, Success) {
    const std::string expected =
        "OK: задание отправлено в очередь «Касса XP-58». Если бумага не вышла — запустите помощника без "
        "параметров и посмотрите отчёт.\r\n";
    EXPECT_EQ(render("{\"ok\":true,\"job\":7,\"bytes\":12,\"printer\":\"Касса XP-58\"}\n", u"Касса XP-58"), expected);
    // Both pieces: success wins, and nothing is gathered.
    EXPECT_EQ(render("{\"ok\":true,\"error\":\"OPEN_FAILED\"}\n", u"Касса XP-58"), expected);
    EXPECT_EQ(sim::computer().call_counts["EnumPrintersW"], 0u);
    EXPECT_EQ(render("{\"ok\":true}\n", u""),
              "OK: задание отправлено в очередь «». Если бумага не вышла — запустите помощника без параметров и "
              "посмотрите отчёт.\r\n");
}

TEST_F(SendResultTest, OtherFailuresShowTheJson) {
    const std::string result =
        "{\"ok\":false,\"error\":\"STARTDOC_FAILED\",\"win32\":5,\"message\":\"Access is denied\","
        "\"printer\":\"XP-58\"}\n";
    EXPECT_EQ(render(result, u"XP-58"), "ОШИБКА отправки в «XP-58»: " + result + "\r\n");
    // Only the exact piece counts, not an escaped one inside a queue's name.
    const std::string empty = "{\"ok\":false,\"error\":\"EMPTY\",\"printer\":\"\\\"ok\\\":true\"}\n";
    EXPECT_EQ(render(empty, u""), "ОШИБКА отправки в «»: " + empty + "\r\n");
    EXPECT_EQ(sim::computer().call_counts["EnumPrintersW"], 0u);
}

TEST_F(SendResultTest, MissingQueueListsThePrinters) {
    sim::load_scenario(R"({"spooler": {"default": "Архив",
        "printers": [
            {"name": "Receipt POS-80", "port": "USB001", "driver": "Receipt Driver"},
            {"name": "POS", "port": "USB002", "driver": "Receipt Driver"},
            {"name": "Office Telefax", "port": "USB003", "driver": "Laser"},
            {"name": "Архив", "port": "C:\\archive.pdf", "driver": "Laser"}
        ],
        "connections": [{"name": "\\\\SHOP-PC\\Kitchen"}]}})");
    EXPECT_EQ(render(kOpenFailed, u"pos"),
              "ОШИБКА: принтера «pos» в Windows нет. Имя нужно писать точно как в списке, с теми же пробелами.\r\n"
              "\r\nПохоже, это «POS». Запустите:\r\n  morvik-helper.exe test \"POS\"\r\n"
              "\r\nПринтеры этого компьютера:\r\n"
              "  Receipt POS-80\r\n"
              "  POS\r\n"
              "  Office Telefax   (виртуальный)\r\n"
              "  Архив   [по умолчанию]   (виртуальный)\r\n"
              "  \\\\SHOP-PC\\Kitchen\r\n");
}

TEST_F(SendResultTest, NearNameSuggestions) {
    struct Case {
        std::u16string given;
        std::vector<std::string> queues;
        std::string suggested;  // empty: none
    };
    const Case cases[] = {
        {u"xp 58", {"XP-58"}, "XP-58"},
        {u"pos", {"Receipt POS-80", "POS"}, "POS"},            // an exact match wins over an earlier containment
        {u"pos", {"Receipt POS-80"}, "Receipt POS-80"},         // the pattern inside the queue's name
        {u"POS80 printer", {"Kitchen", "POS-80"}, "POS-80"},   // the queue's name inside the pattern
        {u"xp58", {"XP-58 copy", "xp_58"}, "xp_58"},
        {u"(-)", {"XP-58", "(-)"}, ""},                         // a pattern folding to empty
        {u"zz", {"(-)", "_ _", "XP-58"}, ""},                   // a queue folding to empty is passed over
        {u"КАССА 1", {"Кухня", "касса-1"}, "касса-1"},
        {u"ҚАЗАҚ", {"қазақ"}, "қазақ"},
        {u"Kassa", {"Kassa2", "Kass"}, "Kassa2"},
    };
    for (const Case& c : cases) {
        queues(c.queues);
        std::string given = sim::utf16_to_utf8(c.given);
        std::string expected = missing(given) + (c.suggested.empty() ? "" : suggestion(c.suggested)) + listing(c.queues);
        EXPECT_EQ(render(kOpenFailed, c.given), expected) << given;
    }
}

TEST_F(SendResultTest, MissingQueueWithoutPrintersOrName) {
    EXPECT_EQ(render(kOpenFailed, u"XP-58"), missing("XP-58") + listing({}));
    queues({"XP-58"});
    EXPECT_EQ(render(kOpenFailed, u""), missing("") + listing({"XP-58"}));
}

TEST_F(SendResultTest, TheDefaultPrinterItselfAsTheName) {
    // The command passes the inventory's own default_printer; gathering the
    // printers rewrites it, here with a default that changed meanwhile.
    queues({"XP-58", "Kitchen"});
    sim::computer().spooler.default_printer = u"xp 58";
    read_default_printer();
    ASSERT_EQ(u8(printer_inventory.default_printer), "xp 58");
    sim::computer().spooler.default_printer = u"Kitchen";
    sim::computer().stdout_kind = sim::StdoutKind::console;
    render_send_result(kOpenFailed.c_str(), printer_inventory.default_printer);
    EXPECT_EQ(sim::utf16_to_utf8(sim::computer().console_text),
              missing("xp 58") + suggestion("XP-58") +
                  "\r\nПринтеры этого компьютера:\r\n  XP-58\r\n  Kitchen   [по умолчанию]\r\n");
    EXPECT_TRUE(sim::leaks().empty());
}

std::string folded(const std::u16string& name) {
    WCHAR out[NORMALIZED_NAME_ROOM + 1];
    out[NORMALIZED_NAME_ROOM] = 0x2222;  // must stay untouched
    normalize_name(reinterpret_cast<const WCHAR*>(name.c_str()), out);
    EXPECT_EQ(out[NORMALIZED_NAME_ROOM], 0x2222);
    return u8(out);
}

TEST_F(SendResultTest, NormalizeName) {
    EXPECT_EQ(folded(u""), "");
    EXPECT_EQ(folded(u"\t (-)._"), "");
    EXPECT_EQ(folded(u"Ж"), "ж");
    EXPECT_EQ(folded(u"A\tB C(D)E-F.G_H"), "abcdefgh");
    // Other punctuation, other blanks and control characters are kept.
    EXPECT_EQ(folded(u"A/B,C:D\u00A0E\\F\"G"), "a/b,c:d\u00A0e\\f\"g");
    EXPECT_EQ(folded(u"\x01Q\rR\nS\x1b"), "\x01q\rr\ns\x1b");
    // Every letter is lower-cased, Cyrillic and Kazakh ones too.
    EXPECT_EQ(folded(u"ӘҒҚҢӨҰҮҺІ ЁЖ ÀÉ"), "әғқңөұүһіёжàé");
    // At most 259 kept characters; left-out ones do not count.
    EXPECT_EQ(folded(std::u16string(300, u'A')), std::string(259, 'a'));
    EXPECT_EQ(folded(std::u16string(50, u'-') + std::u16string(300, u'B')), std::string(259, 'b'));
    EXPECT_EQ(folded(std::u16string(258, u'C') + u" D"), std::string(258, 'c') + "d");
    std::string cyrillic;
    for (int i = 0; i < 259; ++i) cyrillic += "я";
    EXPECT_EQ(folded(std::u16string(259, u'Я') + u"Z"), cyrillic);
}

}  // namespace
