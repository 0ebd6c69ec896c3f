#include "inventory/status_words.h"

#include <stdlib.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using StatusWordsTest = SimTest;

struct Row {
    DWORD mask;
    std::string key;
    std::string text;
};

// What the point-of-sale application and the person at the console are
// promised, byte for byte.
const std::vector<Row> kJobRows = {
    {0x00000001, "paused", "приостановлено"},
    {0x00000002, "error", "ошибка"},
    {0x00000004, "deleting", "удаляется"},
    {0x00000008, "spooling", "помещается в очередь"},
    {0x00000010, "printing", "печатается"},
    {0x00000020, "offline", "принтер не в сети"},
    {0x00000040, "paper_out", "нет бумаги"},
    {0x00000080, "printed", "напечатано"},
    {0x00000100, "deleted", "удалено"},
    {0x00000200, "blocked", "заблокировано"},
    {0x00000400, "user_intervention", "требует вмешательства"},
    {0x00000800, "restart", "перезапуск"},
    {0x00001000, "complete", "отправлено на принтер"},
};

const std::vector<Row> kPrinterRows = {
    {0x00000001, "paused", "очередь приостановлена"},
    {0x00000002, "error", "ошибка"},
    {0x00000004, "pending_deletion", "удаляется"},
    {0x00000008, "paper_jam", "замята бумага"},
    {0x00000010, "paper_out", "нет бумаги"},
    {0x00000020, "manual_feed", "ручная подача"},
    {0x00000040, "paper_problem", "проблема с бумагой"},
    {0x00000080, "offline", "не в сети"},
    {0x00000100, "io_active", "обмен данными"},
    {0x00000200, "busy", "занят"},
    {0x00000400, "printing", "печатает"},
    {0x00000800, "output_bin_full", "лоток переполнен"},
    {0x00001000, "not_available", "недоступен"},
    {0x00002000, "waiting", "ожидание"},
    {0x00004000, "processing", "обработка"},
    {0x00008000, "initializing", "запускается"},
    {0x00010000, "warming_up", "прогрев"},
    {0x00100000, "user_intervention", "требует вмешательства"},
    {0x00200000, "out_of_memory", "нет памяти"},
    {0x00400000, "door_open", "открыта крышка"},
    {0x00800000, "server_unknown", "сервер печати неизвестен"},
    {0x01000000, "power_save", "энергосбережение"},
};

std::string keys(DWORD status, const StatusWord* table) {
    TextBuffer buffer = {};
    append_status_keys(&buffer, status, table);
    std::string text(buffer.data, buffer.length);
    free(buffer.data);
    return text;
}

std::string words(DWORD status, const StatusWord* table) {
    TextBuffer buffer = {};
    append_status_words(&buffer, status, table);
    std::string text = buffer.data ? std::string(buffer.data, buffer.length) : std::string();
    free(buffer.data);
    return text;
}

void expect_table(const StatusWord* table, const std::vector<Row>& rows, const char* which) {
    size_t i = 0;
    for (; table[i].key != nullptr && i < rows.size(); ++i) {
        EXPECT_EQ(table[i].mask, rows[i].mask) << which << " row " << i;
        EXPECT_EQ(std::string(table[i].key), rows[i].key) << which << " row " << i;
        EXPECT_EQ(u8(table[i].text), rows[i].text) << which << " row " << i;
    }
    EXPECT_EQ(i, rows.size()) << which;
    EXPECT_EQ(table[i].key, nullptr) << which << ": the table ends after its last row";
}

TEST_F(StatusWordsTest, TablesHoldExactlyTheseRows) {
    expect_table(job_status_words, kJobRows, "job");
    expect_table(printer_status_words, kPrinterRows, "printer");
}

TEST_F(StatusWordsTest, EachBitOnItsOwn) {
    for (const Row& row : kJobRows) {
        EXPECT_EQ(keys(row.mask, job_status_words), "[\"" + row.key + "\"]");
        EXPECT_EQ(words(row.mask, job_status_words), row.text);
    }
    for (const Row& row : kPrinterRows) {
        EXPECT_EQ(keys(row.mask, printer_status_words), "[\"" + row.key + "\"]");
        EXPECT_EQ(words(row.mask, printer_status_words), row.text);
    }
}

TEST_F(StatusWordsTest, WordsComeInAscendingBitOrder) {
    EXPECT_EQ(keys(0x81, printer_status_words), "[\"paused\",\"offline\"]");
    EXPECT_EQ(words(0x81, printer_status_words), "очередь приостановлена, не в сети");
    EXPECT_EQ(keys(0x410, job_status_words), "[\"printing\",\"user_intervention\"]");
    EXPECT_EQ(words(0x410, job_status_words), "печатается, требует вмешательства");

    // The same bits mean different things for a printer and for a job.
    EXPECT_EQ(keys(0x410, printer_status_words), "[\"paper_out\",\"printing\"]");
    EXPECT_EQ(words(0x21, job_status_words), "приостановлено, принтер не в сети");

    std::string all_keys = "[";
    for (const Row& row : kPrinterRows) all_keys += (all_keys.size() > 1 ? ",\"" : "\"") + row.key + "\"";
    all_keys += "]";
    EXPECT_EQ(keys(0x01F1FFFF, printer_status_words), all_keys);
    EXPECT_EQ(keys(0xFFFFFFFF, printer_status_words), all_keys);
    EXPECT_EQ(words(0x01F1FFFF, printer_status_words),
              "очередь приостановлена, ошибка, удаляется, замята бумага, нет бумаги, ручная подача, "
              "проблема с бумагой, не в сети, обмен данными, занят, печатает, лоток переполнен, недоступен, "
              "ожидание, обработка, запускается, прогрев, требует вмешательства, нет памяти, открыта крышка, "
              "сервер печати неизвестен, энергосбережение");
}

TEST_F(StatusWordsTest, BitsWithoutARowAndZero) {
    for (DWORD status : {0x00020000u, 0x00040000u, 0x00080000u, 0x02000000u, 0x80000000u, 0u}) {
        EXPECT_EQ(keys(status, printer_status_words), "[]") << status;
        EXPECT_EQ(words(status, printer_status_words), "") << status;
    }
    for (DWORD status : {0u, 0x00002000u, 0xFFFFE000u}) {
        EXPECT_EQ(keys(status, job_status_words), "[]") << status;
        EXPECT_EQ(words(status, job_status_words), "") << status;
    }
}

}  // namespace
