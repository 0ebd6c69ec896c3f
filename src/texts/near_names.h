// Finding the queue a person probably meant when the name typed is no queue's.
#pragma once

#include <windows.h>

#include "inventory/printer_inventory.h"

// A queue name folded for the search: blanks, tabs and ( ) - . _ left out,
// all letters lower-cased, the whole name kept. free() it.
WCHAR* normalized_name(const WCHAR* name);

// The queue whose folded name equals the folded `typed` name, else the first
// whose folded name contains it or is contained in it; null when none.
const PrinterEntry* find_near_name(const PrinterInventory& printers, const WCHAR* typed);
