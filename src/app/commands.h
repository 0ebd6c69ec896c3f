// Every command: each gathers what it needs, has the layers below do the
// work, and says the outcome through a renderer. Each returns the exit code.
#pragma once

#include "app/dispatch.h"

int report_command(const Invocation& call);   // also the run without a command word
int list_command(const Invocation& call);
int send_command(const Invocation& call);
int test_command(const Invocation& call);
int driver_command(const Invocation& call);
int watch_command(const Invocation& call);
int purge_command(const Invocation& call);
int status_command(const Invocation& call);
int version_command(const Invocation& call);
int unknown_command(const Invocation& call);
// An argument at `argument` (1 being the command word) of the command `word`
// that is not a number.
int bad_number_command(const Invocation& call, const WCHAR* word, int argument);
