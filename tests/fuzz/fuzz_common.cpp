#include "tests/fuzz/fuzz_targets.h"

#include <cstdio>
#include <cstdlib>

void fuzz_failed(const char* what, const char* file, int line) {
    fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    abort();
}
