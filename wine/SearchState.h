// One ExecuteSearch: what it asked for, and once the first GetFirstRow or
// GetNextRow has sent it, the rows that GetNextRow and GetColumn read.
#pragma once

#include "wine/Entry.h"

#include <string>
#include <vector>

namespace Provider {

struct SearchState {
    std::wstring filter;
    bool allAttributes = false;
    std::vector<std::wstring> attributes;  // sent when not all: "1.1" for none
    bool adsPath = false;                  // the ADsPath column was asked for
    bool sent = false;
    std::vector<Entry> rows;
    // Before the first GetNextRow: -1; past the last row: rows.size().
    long long current = -1;
};

}  // namespace Provider
