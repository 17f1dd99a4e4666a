// The fuzz targets' property check: a property that does not hold aborts with its place, so
// libFuzzer keeps the input as a crash and the replay driver stops on it.
#pragma once
#include <cstdio>
#include <cstdlib>

#define Check(ok) CheckAt((ok), __FILE__, __LINE__)
inline void CheckAt(bool ok, const char* file, int line) {
  if (!ok) {
    fprintf(stderr, "%s:%d: property does not hold\n", file, line);
    abort();
  }
}
