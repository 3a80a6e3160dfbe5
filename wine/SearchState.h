// The rows of one ExecuteSearch, read by GetNextRow and GetColumn.
#pragma once

#include "wine/Entry.h"

#include <vector>

namespace Provider {

struct SearchState {
    std::vector<Entry> rows;
    // Before the first GetNextRow: -1; past the last row: rows.size().
    long long current = -1;
};

}  // namespace Provider
