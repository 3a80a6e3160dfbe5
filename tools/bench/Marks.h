// Moments in the start of the benchmarks' dialogs (empty-dialog.cpp), on the
// clock of the provider's operation log (WINEADSI_STATS): with BENCH_MARKS
// naming a file, Mark appends "mark LABEL - @MS +0" to it, as the provider
// logs its load.
#pragma once

namespace Bench {

void Mark(const char* label);

// What the dialog does once created and before it is shown: nothing for the
// empty dialog (no-discovery.cpp), the program's discovery for the floor
// (floor-discovery.cpp).
void BeforeShown();

}  // namespace Bench
