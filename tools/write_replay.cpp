// Writes a made-up replay file from its header fields, for trying the renamer out:
//   write_replay OUT.rep NAME MONTH DAY P1 P1CARD1 P1CARD2 P2 P2CARD1 P2CARD2 STAGE [SIZE]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "replay_writer.h"

int main(int argc, char** argv) {
  if (argc != 12 && argc != 13) {
    std::fprintf(stderr,
                 "usage: %s OUT.rep NAME MONTH DAY P1 P1CARD1 P1CARD2 P2 P2CARD1 P2CARD2 STAGE "
                 "[SIZE]\n",
                 argv[0]);
    return 2;
  }
  ReplayFields f;
  f.nameCodes = nameCodesFor(argv[2]);
  int* fields[] = {&f.month,       &f.day,         &f.p1Character,  &f.p1FirstCard, &f.p1SecondCard,
                   &f.p2Character, &f.p2FirstCard, &f.p2SecondCard, &f.stage};
  for (int i = 0; i < 9; ++i) *fields[i] = std::atoi(argv[3 + i]);
  if (argc == 13) f.size = std::strtoul(argv[12], nullptr, 10);
  if (!writeReplay(argv[1], f)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
