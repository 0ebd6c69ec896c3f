// The program's version: the "v" member of its documents and the version
// resource that Windows Explorer shows. Kept in one place for both.
#pragma once

#define MORVIK_VERSION_MAJOR 1
#define MORVIK_VERSION_MINOR 1
#define MORVIK_VERSION_PATCH 0
#define MORVIK_VERSION_TEXT "1.1.0"
#define MORVIK_VERSION_RESOURCE_TEXT "1.1.0.0"
