#include "tests/support/Fakes.h"

#include "ad/Errors.h"
#include "ad/Platform.h"

#include <adserr.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace Fakes {

namespace {

FakePlatform* g_platform = nullptr;

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : L"(null)"; }

// The next scripted answer, or `otherwise` once they run out.
template <typename T>
T Next(std::deque<T>& answers, T otherwise) {
    if (answers.empty()) return otherwise;
    T next = answers.front();
    answers.pop_front();
    return next;
}

std::wstring IidName(REFIID iid) {
    if (iid == IID_IADs) return L"IADs";
    if (iid == IID_IADsContainer) return L"IADsContainer";
    if (iid == IID_IDirectorySearch) return L"IDirectorySearch";
    return L"other";
}

// " a b c": each of a call's strings after a space.
std::wstring Spaced(LPWSTR* strings, DWORD count) {
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) text += L" " + std::wstring(strings[i]);
    return text;
}

HRESULT WINAPI GetObjectFake(LPCWSTR path, REFIID iid, void** object) {
    FakePlatform& p = *g_platform;
    p.log.push_back(L"bind " + std::wstring(path ? path : L"(null)") + L" " + IidName(iid));
    *object = nullptr;
    auto found = p.bindings.find(path ? path : L"");
    if (found == p.bindings.end()) return static_cast<HRESULT>(0x80072030);  // no such object
    if (FAILED(found->second.result)) return found->second.result;
    return found->second.object->QueryInterface(iid, object);
}

HRESULT WINAPI GetLastErrorFake(LPDWORD code, LPWSTR text, DWORD textLength, LPWSTR provider,
                                DWORD providerLength) {
    FakePlatform& p = *g_platform;
    p.log.push_back(L"ADsGetLastError " + std::to_wstring(textLength) + L" " +
                    std::to_wstring(providerLength));
    const FakePlatform::ExtendedError e = Next(p.lastErrors, {S_OK, 0, L"", L"", true});
    *code = e.code;
    // Cut to the buffers, with or without the terminator.
    auto copy = [&e](LPWSTR buffer, DWORD length, const std::wstring& value) {
        if (!length) return;
        DWORD limit = e.terminated ? length - 1 : length;
        DWORD n = std::min<DWORD>(limit, static_cast<DWORD>(value.size()));
        std::copy(value.begin(), value.begin() + n, buffer);
        if (n < length) buffer[n] = L'\0';
    };
    copy(text, textLength, e.text);
    copy(provider, providerLength, e.provider);
    return e.result;
}

HRESULT WINAPI BuildVarArrayStrFake(LPWSTR* strings, DWORD count, VARIANT* value) {
    FakePlatform& p = *g_platform;
    p.log.push_back(L"ADsBuildVarArrayStr " + std::to_wstring(count) + Spaced(strings, count));
    if (FAILED(p.buildResult)) return p.buildResult;
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, count);
    if (!array) return E_OUTOFMEMORY;
    auto* items = static_cast<VARIANT*>(array->pvData);
    for (DWORD i = 0; i < count; ++i) {
        V_VT(&items[i]) = VT_BSTR;
        V_BSTR(&items[i]) = ::SysAllocString(strings[i]);
    }
    ::VariantInit(value);
    V_VT(value) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(value) = array;
    return S_OK;
}

DWORD WINAPI TickCountFake() {
    FakePlatform& p = *g_platform;
    p.log.push_back(L"GetTickCount");
    return Next(p.ticks, p.now);
}

void WINAPI PauseFake(DWORD milliseconds) {
    FakePlatform& p = *g_platform;
    p.log.push_back(L"Sleep " + std::to_wstring(milliseconds));
    p.pauses.push_back(milliseconds);
    p.now += milliseconds;
    if (p.onPause) p.onPause(static_cast<int>(p.pauses.size()));
}

int WINAPI MessageBoxFake(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    FakePlatform& p = *g_platform;
    ++p.messageBoxes;
    p.log.push_back(L"MessageBox " + std::wstring(owner ? L"owned " : L"") + text + L" | " +
                    caption + L" | " + std::to_wstring(type));
    return IDOK;
}

}  // namespace

std::wstring DescribeVariant(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_BSTR:
        return L"VT_BSTR " + Text(V_BSTR(&value));
    case VT_BOOL:
        return L"VT_BOOL " + std::to_wstring(V_BOOL(&value));
    case VT_I4:
        return L"VT_I4 " + std::to_wstring(V_I4(&value));
    case VT_ARRAY | VT_VARIANT: {
        const SAFEARRAY* array = V_ARRAY(&value);
        if (!array || array->cDims != 1 || array->cbElements != sizeof(VARIANT))
            return L"VT_ARRAY|VT_VARIANT [bad array]";
        std::wstring text = L"VT_ARRAY|VT_VARIANT [";
        const auto* items = static_cast<const VARIANT*>(array->pvData);
        for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i)
            text += (i ? L", " : L"") + DescribeVariant(items[i]);
        return text + L"]";
    }
    default:
        return L"VT_" + std::to_wstring(V_VT(&value));
    }
}

size_t Count(const Log& log, const std::wstring& call) {
    return static_cast<size_t>(std::count(log.begin(), log.end(), call));
}

Thrown Catch(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const AD::HResultException& e) {
        return {e.hresult(), e.what()};
    }
    ADD_FAILURE() << "no exception";
    return {};
}

HRESULT FakeObject::QueryInterface(REFIID iid, void** object) {
    if (iid == IID_IADs && FAILED(queryIADs)) return Answer(false, queryIADs, object);
    return Answer(iid == IID_IADs || iid == IID_IDispatch || iid == IID_IUnknown, E_NOINTERFACE,
                  object);
}

HRESULT FakeObject::Give(const wchar_t* call, HRESULT result, const std::wstring& text, BSTR* value) {
    m_log.push_back(call);
    *value = nullptr;
    if (FAILED(result)) return result;
    *value = ::SysAllocString(text.c_str());
    return S_OK;
}

HRESULT FakeObject::get_ADsPath(BSTR* value) { return Give(L"get_ADsPath", pathResult, path, value); }

HRESULT FakeObject::get_Parent(BSTR* value) { return Give(L"get_Parent", parentResult, parent, value); }

HRESULT FakeObject::SetInfo() {
    m_log.push_back(L"SetInfo");
    return setInfoResult;
}

HRESULT FakeObject::Get(BSTR name, VARIANT* value) {
    std::wstring key = Text(name);
    m_log.push_back(L"Get " + key);
    ::VariantInit(value);
    if (strings.count(key)) {
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = ::SysAllocString(strings[key].c_str());
        return S_OK;
    }
    if (integers.count(key)) {
        V_VT(value) = VT_I4;
        V_I4(value) = integers[key];
        return S_OK;
    }
    return E_ADS_PROPERTY_NOT_FOUND;
}

HRESULT FakeObject::Put(BSTR name, VARIANT value) {
    std::wstring key = Text(name);
    m_log.push_back(L"Put " + key + L" " + DescribeVariant(value));
    auto failure = putFailures.find(key);
    return failure == putFailures.end() ? S_OK : failure->second;
}

HRESULT FakeContainer::QueryInterface(REFIID iid, void** object) {
    return Answer(iid == IID_IADsContainer || iid == IID_IDispatch || iid == IID_IUnknown,
                  E_NOINTERFACE, object);
}

HRESULT FakeContainer::Create(BSTR objectClass, BSTR relativeName, IDispatch** object) {
    std::wstring cls = Text(objectClass);
    m_log.push_back(L"Create " + cls + L" " + Text(relativeName));
    *object = nullptr;
    auto failure = createFailures.find(cls);
    if (failure != createFailures.end()) return failure->second;
    if (createNull) return S_OK;
    created.push_back(std::make_unique<FakeObject>(m_log));
    FakeObject& made = *created.back();
    if (configure) configure(cls, made);
    made.AddRef();
    *object = &made;
    return S_OK;
}

long FakeContainer::outstanding() const {
    long total = refs;
    for (const auto& object : created) total += object->refs;
    return total;
}

HRESULT FakeSearch::QueryInterface(REFIID iid, void** object) {
    return Answer(iid == IID_IDirectorySearch || iid == IID_IUnknown, E_NOINTERFACE, object);
}

HRESULT FakeSearch::SetSearchPreference(PADS_SEARCHPREF_INFO, DWORD) {
    m_log.push_back(L"SetSearchPreference");
    return S_OK;
}

HRESULT FakeSearch::ExecuteSearch(LPWSTR filter, LPWSTR* attributes, DWORD count,
                                  PADS_SEARCH_HANDLE handle) {
    m_log.push_back(L"ExecuteSearch " + std::wstring(filter) + L" " + std::to_wstring(count) +
                    Spaced(attributes, count));
    if (FAILED(executeResult)) return executeResult;
    ++openHandles;
    *handle = reinterpret_cast<ADS_SEARCH_HANDLE>(this);
    return S_OK;
}

HRESULT FakeSearch::GetFirstRow(ADS_SEARCH_HANDLE) {
    m_log.push_back(L"GetFirstRow");
    return S_OK;
}

HRESULT FakeSearch::GetNextRow(ADS_SEARCH_HANDLE handle) {
    m_log.push_back(L"GetNextRow");
    if (handle != reinterpret_cast<ADS_SEARCH_HANDLE>(this)) return E_ADS_BAD_PARAMETER;
    return Next(rows, S_ADS_NOMORE_ROWS);
}

HRESULT FakeSearch::GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name, PADS_SEARCH_COLUMN column) {
    m_log.push_back(L"GetColumn " + std::wstring(name));
    if (handle != reinterpret_cast<ADS_SEARCH_HANDLE>(this)) return E_ADS_BAD_PARAMETER;
    if (FAILED(columnResult)) return columnResult;
    // Memory after an unterminated value that must never be read as path.
    m_bytes = columnValue + (columnTerminated ? std::wstring(1, L'\0') : std::wstring()) + L"JUNK";
    m_value = ADSVALUE{};
    m_value.dwType = columnType;
    if (columnType == ADSTYPE_PROV_SPECIFIC) {
        m_value.ProviderSpecific.dwLength =
            static_cast<DWORD>((columnValue.size() + (columnTerminated ? 1 : 0)) * sizeof(wchar_t));
        m_value.ProviderSpecific.lpValue =
            columnNull ? nullptr : reinterpret_cast<LPBYTE>(m_bytes.data());
    } else {
        m_value.DNString = columnNull ? nullptr : m_bytes.data();
    }
    *column = ADS_SEARCH_COLUMN{name, columnType, columnValues ? &m_value : nullptr, columnValues, nullptr};
    ++openColumns;
    return S_OK;
}

HRESULT FakeSearch::FreeColumn(PADS_SEARCH_COLUMN column) {
    m_log.push_back(L"FreeColumn");
    if (column->pADsValues != (columnValues ? &m_value : nullptr)) return E_ADS_BAD_PARAMETER;
    --openColumns;
    return S_OK;
}

HRESULT FakeSearch::CloseSearchHandle(ADS_SEARCH_HANDLE handle) {
    m_log.push_back(L"CloseSearchHandle");
    if (handle != reinterpret_cast<ADS_SEARCH_HANDLE>(this)) return E_ADS_BAD_PARAMETER;
    --openHandles;
    return S_OK;
}

FakePlatform::FakePlatform(Log& log_) : log(log_) {
    g_platform = this;
    AD::Platform.getObject = &GetObjectFake;
    AD::Platform.getLastError = &GetLastErrorFake;
    AD::Platform.buildVarArrayStr = &BuildVarArrayStrFake;
    AD::Platform.tickCount = &TickCountFake;
    AD::Platform.pause = &PauseFake;
    AD::Platform.messageBox = &MessageBoxFake;
}

FakePlatform::~FakePlatform() {
    AD::Platform = AD::RealPlatform;
    g_platform = nullptr;
}

}  // namespace Fakes
