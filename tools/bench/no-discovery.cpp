// The empty dialog: nothing happens between its creation and its showing.
#include "tools/bench/Marks.h"

namespace Bench {

void BeforeShown() {}

}  // namespace Bench
