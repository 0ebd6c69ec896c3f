// The document of "list" and "list ids": the printers and the devices.
#pragma once

#include "devices/device_inventory.h"
#include "output/text_buffer.h"

void append_list_document(TextBuffer* document, const Survey& survey);
