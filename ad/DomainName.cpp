#include "ad/DomainName.h"

namespace AD {

std::wstring ExtractDomainName(const std::wstring& path) {
    std::wstring result;
    std::wstring::size_type begin = 0;
    while (begin < path.size()) {
        std::wstring::size_type end = path.find(L',', begin);
        if (end == std::wstring::npos) end = path.size();
        // Case-sensitive on purpose: only the directory's own upper-case
        // "DC=" marks a domain component. Escapes are not parsed.
        if (end - begin >= 3) {
            std::wstring::size_type dc = path.find(L"DC=", begin);
            if (dc != std::wstring::npos && dc + 3 <= end) {
                result.append(path, dc, end - dc);
                result += L',';
            }
        }
        begin = end + 1;
    }
    if (!result.empty()) result.pop_back();
    return result;
}

}  // namespace AD
