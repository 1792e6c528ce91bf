#include "naming/compose.h"

#include "naming/tokens.h"

ComposedName composeName(std::string_view format, const ReplayFile& replay,
                         int64_t* sequenceCounter) {
  ComposedName result;
  result.status = replay.status;
  if (replay.status != ReplayStatus::kOk) return result;
  const TokenFacts facts{replay, (*sequenceCounter)++};
  result.name = substituteTokens(format, kTokens, gatherTokenValues(kTokens, facts));
  return result;
}
