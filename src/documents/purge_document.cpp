#include "documents/purge_document.h"

#include "documents/failure.h"
#include "output/format.h"
#include "output/json.h"

void append_purge_document(TextBuffer* document, const PurgeResult& result, const WCHAR* printer) {
    append(document, "{");
    switch (result.outcome) {
        case PurgeOutcome::open_failed:  // no "printer" member: the name is the caller's own
            append_failure(document, "OPEN_FAILED", result.error, nullptr, FAILURE_WITH_OK);
            append(document, "}\n");
            return;
        case PurgeOutcome::list_failed:
            append_failure(document, "ENUM_FAILED", result.error, nullptr,
                           FAILURE_WITH_OK | FAILURE_MESSAGE_AT_MOST_255, ",\"deleted\":0,\"failed\":0,\"skipped\":0");
            break;
        case PurgeOutcome::purged: {
            char counts[96];
            format_text(counts, sizeof counts, ",\"deleted\":%lu,\"failed\":%lu,\"skipped\":%lu",
                        static_cast<unsigned long>(result.deleted), static_cast<unsigned long>(result.failed),
                        static_cast<unsigned long>(result.skipped));
            if (result.failed != 0) {
                append_failure(document, "DELETE_FAILED", result.error, nullptr,
                               FAILURE_WITH_OK | FAILURE_MESSAGE_AT_MOST_255, counts);
            } else {
                append(document, "\"ok\":true");
                append(document, counts);
            }
            break;
        }
    }
    append_json_member(document, ",\"printer\":", printer);
    append(document, "}\n");
}
