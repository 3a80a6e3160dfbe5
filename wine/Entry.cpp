#include "wine/Entry.h"

#include <cwchar>

namespace Provider {

bool SameAttributeName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace Provider
