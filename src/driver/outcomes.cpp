#include "driver/outcomes.h"

void report(Console& console, const std::string& path, const Placement& placed, Tally* tally) {
  console.write(path + "\n    ===>");
  if (placed.collided) ++tally->warnings;
  if (placed.moved.ok()) {
    console.write(placed.target + (placed.collided
                                       ? " -- Rename successful!(Warning: file already exists)\n"
                                       : " -- Rename successful!\n"));
    return;
  }
  ++tally->errors;
  console.write(placed.target);
  console.writeError(" -- Error: " + moveErrorText(placed.moved) + "\n");
  console.write("\n");
}
