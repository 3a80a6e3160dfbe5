// Update-UI support as far as this program uses it: the dialog registers its
// window as the container of the controls to update, and its update map is
// empty, so nothing is ever updated through it.
#pragma once

#include <windows.h>

namespace WTL {

class CUpdateUIBase {
public:
    BOOL UIAddChildWindowContainer(HWND container) noexcept {
        if (!container) return FALSE;
        m_container = container;
        return TRUE;
    }

protected:
    ~CUpdateUIBase() = default;
    HWND m_container = nullptr;
};

template <class T>
class CUpdateUI : public CUpdateUIBase {
protected:
    ~CUpdateUI() = default;
};

}  // namespace WTL
