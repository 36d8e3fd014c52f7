#include "boardtrace.h"

#include <cstdio>

// The debug channel of builds without Qt, such as the cross-compiled check program.
void boardDebugChannel(const char *message)
{
    std::fprintf(stderr, "%s\n", message);
}
