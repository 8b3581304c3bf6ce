// A video file that includes a benchmark header: the checker must report it.
#include "bench/e2e/LatencyTrace.h"
