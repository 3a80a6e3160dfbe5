// Fakes of the ADSI objects and of AD::Platform. Every fake writes each call
// it receives into one shared log (in order, with names, variant types and
// values) and counts its references, so a test can check both what was asked
// and that everything handed out came back.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Fakes {

using Log = std::vector<std::wstring>;

// "VT_BSTR text", "VT_BOOL -1", "VT_I4 3", "VT_ARRAY|VT_VARIANT [VT_BSTR a]".
std::wstring DescribeVariant(const VARIANT& value);

size_t Count(const Log& log, const std::wstring& call);

// What an operation that must throw AD::HResultException threw: its HRESULT
// and text. One that returns is a test failure, and gives S_OK and no text.
struct Thrown {
    HRESULT hr = S_OK;
    std::string message;
};
Thrown Catch(const std::function<void()>& operation);

// Reference counting and the IDispatch methods nobody here calls. Fakes live
// on the test's stack or in a fake's own list; Release never deletes.
template <typename Interface>
class Counted : public Interface {
public:
    long refs = 0;

    ULONG WINAPI AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG WINAPI Release() override { return static_cast<ULONG>(--refs); }
    HRESULT WINAPI GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
    HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
    HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
        return E_NOTIMPL;
    }

protected:
    HRESULT Answer(bool known, HRESULT refusal, void** object) {
        *object = known ? this : nullptr;
        if (!known) return refusal;
        AddRef();
        return S_OK;
    }
};

// A directory object: a new one from Create, one bound by a path, or the
// server object that discovery hands to the dialog.
class FakeObject : public Counted<IADs> {
public:
    explicit FakeObject(Log& log) : m_log(log) {}

    // Get answers: a string property, or a value of another type; any other
    // property is E_ADS_PROPERTY_NOT_FOUND.
    std::map<std::wstring, std::wstring> strings;
    std::map<std::wstring, LONG> integers;
    std::map<std::wstring, HRESULT> putFailures;
    HRESULT queryIADs = S_OK;
    HRESULT setInfoResult = S_OK;
    HRESULT parentResult = S_OK;
    std::wstring parent;
    HRESULT pathResult = S_OK;
    std::wstring path;

    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
    HRESULT WINAPI get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Class(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_ADsPath(BSTR* path) override;
    HRESULT WINAPI get_Parent(BSTR* path) override;
    HRESULT WINAPI get_Schema(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetInfo() override { return E_NOTIMPL; }
    HRESULT WINAPI SetInfo() override;
    HRESULT WINAPI Get(BSTR name, VARIANT* value) override;
    HRESULT WINAPI Put(BSTR name, VARIANT value) override;
    HRESULT WINAPI GetEx(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT WINAPI PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI GetInfoEx(VARIANT, LONG) override { return E_NOTIMPL; }

private:
    // Logs the call and answers the scripted failure or the text.
    HRESULT Give(const wchar_t* call, HRESULT result, const std::wstring& text, BSTR* value);

    Log& m_log;
};

// The schema container. Each Create makes a new FakeObject, set up by
// `configure` for its class, and keeps it for the test to inspect.
class FakeContainer : public Counted<IADsContainer> {
public:
    explicit FakeContainer(Log& log) : m_log(log) {}

    std::map<std::wstring, HRESULT> createFailures;  // by object class
    bool createNull = false;  // Create succeeds without an object
    std::function<void(const std::wstring& objectClass, FakeObject&)> configure;
    std::vector<std::unique_ptr<FakeObject>> created;

    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
    HRESULT WINAPI get_Count(LONG*) override { return E_NOTIMPL; }
    HRESULT WINAPI get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Filter(VARIANT*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_Filter(VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Hints(VARIANT*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_Hints(VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI GetObject(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT WINAPI Create(BSTR objectClass, BSTR relativeName, IDispatch** object) override;
    HRESULT WINAPI Delete(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI CopyHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT WINAPI MoveHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }

    // References still held on the container or on any object it created.
    long outstanding() const;

private:
    Log& m_log;
};

// The schema partition searched for the role owner. Rows are the answers of
// successive GetNextRow calls; once they run out it answers S_ADS_NOMORE_ROWS.
class FakeSearch : public Counted<IDirectorySearch> {
public:
    explicit FakeSearch(Log& log) : m_log(log) {}

    HRESULT executeResult = S_OK;
    std::deque<HRESULT> rows;
    HRESULT columnResult = S_OK;
    ADSTYPE columnType = ADSTYPE_DN_STRING;
    std::wstring columnValue;
    bool columnNull = false;       // the value's string pointer is null
    DWORD columnValues = 1;        // 0: a column without any value
    bool columnTerminated = true;  // provider-specific bytes end with a null
    int openHandles = 0;
    int openColumns = 0;

    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
    HRESULT WINAPI SetSearchPreference(PADS_SEARCHPREF_INFO, DWORD) override;
    HRESULT WINAPI ExecuteSearch(LPWSTR filter, LPWSTR* attributes, DWORD count,
                                 PADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI AbandonSearch(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    HRESULT WINAPI GetFirstRow(ADS_SEARCH_HANDLE) override;
    HRESULT WINAPI GetNextRow(ADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    HRESULT WINAPI GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name,
                             PADS_SEARCH_COLUMN column) override;
    HRESULT WINAPI FreeColumn(PADS_SEARCH_COLUMN column) override;
    HRESULT WINAPI CloseSearchHandle(ADS_SEARCH_HANDLE handle) override;

private:
    Log& m_log;
    ADSVALUE m_value{};
    std::wstring m_bytes;
};

// AD::Platform pointed at the test: bindings by path, a scripted extended
// error, the mayContain builder, a fake clock and pause, and the message box.
// Installs itself on construction and puts RealPlatform back on destruction.
class FakePlatform {
public:
    explicit FakePlatform(Log& log);
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    struct Binding {
        IUnknown* object;
        HRESULT result;
    };
    std::map<std::wstring, Binding> bindings;

    // Successive ADsGetLastError answers; once they run out: S_OK, code 0.
    struct ExtendedError {
        HRESULT result;
        DWORD code;
        std::wstring text;
        std::wstring provider;
        bool terminated = true;  // false: a cut text fills its buffer unterminated
    };
    std::deque<ExtendedError> lastErrors;

    HRESULT buildResult = S_OK;

    // The clock: scripted ticks are answered first, then `now`, which every
    // pause advances.
    DWORD now = 0;
    std::deque<DWORD> ticks;
    std::vector<DWORD> pauses;
    std::function<void(int pause)> onPause;

    int messageBoxes = 0;

    Log& log;
};

}  // namespace Fakes
