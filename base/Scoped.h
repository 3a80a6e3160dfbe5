// Scoped owners for every resource the program acquires: COM interfaces,
// BSTRs, VARIANTs, kernel handles, GDI objects and device contexts, local
// memory and ADSI search state. Nothing outside this header calls
// SysFreeString, VariantClear, CloseHandle, DeleteObject, DeleteDC, LocalFree
// or Release by hand.
//
// Allocation failures throw ATL::CAtlException carrying E_OUTOFMEMORY: the
// framework's own failure type, deliberately not AD::HResultException, so a
// directory failure and running out of memory never look alike.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>
#include <wrl/client.h>

#include <utility>

namespace ATL {

class CAtlException {
public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }

}  // namespace ATL

namespace Scoped {

template <typename T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

// A BSTR owner. Constructing from a non-null string that cannot be copied
// throws E_OUTOFMEMORY; a null string stays null.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(const wchar_t* text) : m_bstr(nullptr) {
        if (text && !(m_bstr = ::SysAllocString(text)))
            ATL::AtlThrow(E_OUTOFMEMORY);
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_bstr(other.release()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Bstr() { reset(); }

    BSTR get() const noexcept { return m_bstr; }
    // For out-parameters: frees the current string first.
    BSTR* out() noexcept {
        reset();
        return &m_bstr;
    }
    BSTR release() noexcept { return std::exchange(m_bstr, nullptr); }
    void reset(BSTR b = nullptr) noexcept {
        if (m_bstr) ::SysFreeString(m_bstr);
        m_bstr = b;
    }

private:
    BSTR m_bstr = nullptr;
};

// A VARIANT owner, cleared on destruction and before each retyping.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&m_var); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&m_var); }

    VARIANT* get() noexcept { return &m_var; }
    const VARIANT& operator*() const noexcept { return m_var; }
    const VARIANT* operator->() const noexcept { return &m_var; }
    // For out-parameters: clears the current value first.
    VARIANT* out() noexcept {
        clear();
        return &m_var;
    }
    void clear() noexcept { ::VariantClear(&m_var); }

    void setBstr(const wchar_t* text) {
        clear();
        BSTR b = ::SysAllocString(text);
        if (!b) ATL::AtlThrow(E_OUTOFMEMORY);
        V_VT(&m_var) = VT_BSTR;
        V_BSTR(&m_var) = b;
    }
    void setBool(bool value) noexcept {
        clear();
        V_VT(&m_var) = VT_BOOL;
        V_BOOL(&m_var) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void setI4(LONG value) noexcept {
        clear();
        V_VT(&m_var) = VT_I4;
        V_I4(&m_var) = value;
    }

private:
    VARIANT m_var;
};

// A kernel handle (event, thread); null means none.
class Handle {
public:
    Handle() noexcept = default;
    explicit Handle(HANDLE h) noexcept : m_h(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    HANDLE get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    void reset(HANDLE h = nullptr) noexcept {
        if (m_h) ::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// A critical section, and the guard that holds it for one scope. Entering
// one cannot fail on the Windows versions the program supports.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&m_cs); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { ::DeleteCriticalSection(&m_cs); }

    class Lock {
    public:
        explicit Lock(CriticalSection& cs) noexcept : m_cs(cs) { ::EnterCriticalSection(&m_cs.m_cs); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock() { ::LeaveCriticalSection(&m_cs.m_cs); }

    private:
        CriticalSection& m_cs;
    };

private:
    CRITICAL_SECTION m_cs;
};

// A GDI object (bitmap, font) deleted with DeleteObject.
template <typename T>
class GdiObject {
public:
    GdiObject() noexcept = default;
    explicit GdiObject(T object) noexcept : m_object(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { reset(); }

    T get() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    void reset(T object = nullptr) noexcept {
        if (m_object) ::DeleteObject(m_object);
        m_object = object;
    }

private:
    T m_object = nullptr;
};

// A memory device context from CreateCompatibleDC, with the object it had
// selected before put back before DeleteDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) noexcept
        : m_dc(::CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() {
        if (!m_dc) return;
        if (m_previous) ::SelectObject(m_dc, m_previous);
        ::DeleteDC(m_dc);
    }

    HDC get() const noexcept { return m_dc; }
    void select(HGDIOBJ object) noexcept {
        HGDIOBJ previous = ::SelectObject(m_dc, object);
        if (!m_previous) m_previous = previous;
    }

private:
    HDC m_dc;
    HGDIOBJ m_previous = nullptr;
};

// A buffer that the system allocated with LocalAlloc (FormatMessageW).
template <typename T>
class LocalMemory {
public:
    LocalMemory() noexcept = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() {
        if (m_p) ::LocalFree(m_p);
    }

    T get() const noexcept { return m_p; }
    T* out() noexcept { return &m_p; }

private:
    T m_p = nullptr;
};

// An open IDirectorySearch search; closed through the interface it came from.
class SearchHandle {
public:
    explicit SearchHandle(IDirectorySearch* search) noexcept : m_search(search) {}
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
    ~SearchHandle() { close(); }

    ADS_SEARCH_HANDLE get() const noexcept { return m_handle; }
    ADS_SEARCH_HANDLE* out() noexcept { return &m_handle; }
    void close() noexcept {
        if (m_handle) m_search->CloseSearchHandle(std::exchange(m_handle, nullptr));
    }

private:
    IDirectorySearch* m_search;
    ADS_SEARCH_HANDLE m_handle = nullptr;
};

// A column read with GetColumn; freed through the interface it came from.
class SearchColumn {
public:
    explicit SearchColumn(IDirectorySearch* search) noexcept : m_search(search) {}
    SearchColumn(const SearchColumn&) = delete;
    SearchColumn& operator=(const SearchColumn&) = delete;
    ~SearchColumn() { free(); }

    ADS_SEARCH_COLUMN& get() noexcept { return m_column; }
    // For GetColumn: marks the column as needing FreeColumn only on success.
    ADS_SEARCH_COLUMN* out() noexcept { return &m_column; }
    void setFilled() noexcept { m_filled = true; }
    void free() noexcept {
        if (m_filled) m_search->FreeColumn(&m_column);
        m_filled = false;
    }

private:
    IDirectorySearch* m_search;
    ADS_SEARCH_COLUMN m_column{};
    bool m_filled = false;
};

}  // namespace Scoped
