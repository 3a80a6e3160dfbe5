#include "gui/FailureText.h"

#include "ad/Errors.h"
#include "base/Scoped.h"

#include <exception>
#include <new>

namespace GUI {

std::wstring DescribeCurrentException() {
    try {
        throw;
    } catch (const ATL::CAtlException& e) {
        return AD::DescribeHResult(e.m_hr);
    } catch (const std::bad_alloc&) {
        return AD::DescribeHResult(E_OUTOFMEMORY);
    } catch (const std::exception& e) {
        std::wstring text = AD::AnsiToWide(e.what());
        return text.empty() ? AD::DescribeHResult(E_FAIL) : text;
    } catch (...) {
        return AD::DescribeHResult(E_UNEXPECTED);
    }
}

}  // namespace GUI
