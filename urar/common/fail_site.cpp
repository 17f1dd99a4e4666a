// Debug builds remember which check ended the most recent decode, for test failure messages.
#include "urar/common/extract_result.h"

#ifndef NDEBUG
#include <cstdio>

namespace {
thread_local char last_site[96];
}

void UrarNoteFailSite(const char* file, int line) {
  snprintf(last_site, sizeof last_site, "%s:%d", file, line);
}
const char* UrarLastFailSite() { return last_site; }
void UrarClearFailSite() { last_site[0] = '\0'; }
#endif
