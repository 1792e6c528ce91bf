#pragma once

#include <string>

#include "driver/free_name.h"
#include "platform/console.h"

// What the summary counts.
struct Tally {
  int errors = 0;
  int warnings = 0;
};

// Writes one replay's lines, its path and then where it went or why it did not, and counts them.
void report(Console& console, const std::string& path, const Placement& placed, Tally* tally);
