// IDirectorySearch of DirectoryObject: a subtree search with default
// preferences. ExecuteSearch only checks and keeps the request; like ADSI's
// LDAP provider ("IDirectorySearch::ExecuteSearch", "Searching with the
// IDirectorySearch Interface") the search goes out at the first GetFirstRow
// or GetNextRow, which reports its failure. Its rows are all read then and
// handed out row by row; ADsPath is a column made from each row's DN.
#include "wine/DirectoryObject.h"

#include "wine/AdsPath.h"
#include "wine/Filter.h"
#include "wine/SearchState.h"

#include <adserr.h>
#include <oleauto.h>
#include <iads.h>
#include <adshlp.h>

#include <algorithm>

namespace Provider {

namespace {

const wchar_t AdsPathColumn[] = L"ADsPath";

// ADSI's value for an attribute list that asks for every attribute.
const DWORD AllAttributes = static_cast<DWORD>(-1);

void FreeColumnStorage(ADS_SEARCH_COLUMN& column) {
    if (column.pADsValues) {
        for (DWORD i = 0; i < column.dwNumValues; ++i) FreeADsStr(column.pADsValues[i].CaseIgnoreString);
        FreeADsMem(column.pADsValues);
    }
    if (column.pszAttrName) FreeADsStr(column.pszAttrName);
    column = ADS_SEARCH_COLUMN{};
}

// Fills column with string values of one type, in ADSI's allocator so that
// FreeColumn (ours or a caller's FreeADsMem) releases it.
HRESULT FillColumn(const wchar_t* name, ADSTYPE type, const std::vector<std::wstring>& values,
                   ADS_SEARCH_COLUMN& column) {
    column = ADS_SEARCH_COLUMN{};
    column.dwADsType = type;
    column.pszAttrName = AllocADsStr(name);
    column.pADsValues = static_cast<PADSVALUE>(AllocADsMem(static_cast<DWORD>(values.size() * sizeof(ADSVALUE))));
    if (!column.pszAttrName || !column.pADsValues) {
        FreeColumnStorage(column);
        return E_OUTOFMEMORY;
    }
    for (const std::wstring& value : values) {
        ADSVALUE& slot = column.pADsValues[column.dwNumValues];
        slot.dwType = type;
        // Every string type of ADSVALUE shares this member's place.
        slot.CaseIgnoreString = AllocADsStr(value.c_str());
        if (!slot.CaseIgnoreString) {
            FreeColumnStorage(column);
            return E_OUTOFMEMORY;
        }
        ++column.dwNumValues;
    }
    return S_OK;
}

bool IsAdsPath(const wchar_t* name) { return SameAttributeName(name, AdsPathColumn); }

}  // namespace

SearchState* DirectoryObject::FindSearch(ADS_SEARCH_HANDLE handle) {
    for (const auto& search : m_searches)
        if (search.get() == static_cast<void*>(handle)) return search.get();
    return nullptr;
}

HRESULT WINAPI DirectoryObject::SetSearchPreference(PADS_SEARCHPREF_INFO, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::AbandonSearch(ADS_SEARCH_HANDLE) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetPreviousRow(ADS_SEARCH_HANDLE) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) { return E_NOTIMPL; }

HRESULT WINAPI DirectoryObject::ExecuteSearch(LPWSTR filter, LPWSTR* attributes, DWORD count,
                                              PADS_SEARCH_HANDLE handle) {
    if (!handle) return E_ADS_BAD_PARAMETER;
    *handle = nullptr;
    // A null list goes with 0 (no attribute) or 0xFFFFFFFF (all of them).
    if (count != AllAttributes && count && !attributes) return E_ADS_BAD_PARAMETER;
    return Guarded([&] {
        auto search = std::make_unique<SearchState>();
        // No filter matches every object; a bare item is taken as if in
        // parentheses. The documentation is silent on both; both are what
        // LDAP filters mean.
        search->filter = filter && *filter ? filter : L"(objectClass=*)";
        if (search->filter[0] != L'(') search->filter = L"(" + search->filter + L")";
        // Checked here, before anything is sent; "Generic ADSI Error Codes"
        // has the code for it.
        if (!IsWellFormedFilter(search->filter)) return E_ADS_INVALID_FILTER;
        search->allAttributes = count == AllAttributes;
        if (!search->allAttributes) {
            // The columns are the names asked for ("Processing Query
            // Results"); a count of 0 asks for none, not even ADsPath.
            for (DWORD i = 0; i < count; ++i) {
                if (!attributes[i]) continue;
                if (IsAdsPath(attributes[i])) search->adsPath = true;
                else search->attributes.push_back(attributes[i]);
            }
            // "1.1" asks the server for no attribute.
            if (search->attributes.empty()) search->attributes.push_back(L"1.1");
        }
        // Kept first, handed out after: a list that cannot grow leaves the
        // caller without a handle rather than with a freed one.
        m_searches.push_back(std::move(search));
        *handle = static_cast<ADS_SEARCH_HANDLE>(m_searches.back().get());
        return S_OK;
    });
}

HRESULT WINAPI DirectoryObject::GetFirstRow(ADS_SEARCH_HANDLE handle) { return Advance(handle, true); }
HRESULT WINAPI DirectoryObject::GetNextRow(ADS_SEARCH_HANDLE handle) { return Advance(handle, false); }

HRESULT DirectoryObject::Advance(ADS_SEARCH_HANDLE handle, bool fromFirst) {
    SearchState* search = FindSearch(handle);
    if (!search) return E_ADS_BAD_PARAMETER;
    return Guarded([&] {
        if (!search->sent) {
            HRESULT hr = m_connection->Search(m_dn, LDAP_SCOPE_SUBTREE, search->filter,
                                              search->allAttributes ? nullptr : &search->attributes, search->rows);
            // A search that failed is sent again by the next call: the
            // handle stays as ExecuteSearch made it.
            if (FAILED(hr)) return hr;
            search->sent = true;
        }
        if (fromFirst) search->current = -1;
        long long size = static_cast<long long>(search->rows.size());
        if (search->current < size) ++search->current;
        if (search->current < size) return S_OK;
        // With the default preferences the search is synchronous: every row
        // has arrived, so nothing is pending. A caller that asks
        // ADsGetLastError whether to wait (ERROR_MORE_DATA,
        // "IDirectorySearch::GetNextRow") must not read an older record and
        // loop on it.
        ADsSetLastError(ERROR_SUCCESS, nullptr, nullptr);
        return S_ADS_NOMORE_ROWS;
    });
}

HRESULT WINAPI DirectoryObject::GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name, PADS_SEARCH_COLUMN column) {
    if (!name || !column) return E_ADS_BAD_PARAMETER;
    *column = ADS_SEARCH_COLUMN{};
    SearchState* search = FindSearch(handle);
    if (!search) return E_ADS_BAD_PARAMETER;
    if (search->current < 0 || search->current >= static_cast<long long>(search->rows.size()))
        return E_ADS_COLUMN_NOT_SET;
    return Guarded([&] {
        const Entry& row = search->rows[static_cast<size_t>(search->current)];
        if (IsAdsPath(name)) {
            if (!search->allAttributes && !search->adsPath) return E_ADS_COLUMN_NOT_SET;
            return FillColumn(name, ADSTYPE_CASE_IGNORE_STRING, {MakeAdsPath(m_server, row.dn)}, *column);
        }
        auto found = std::find_if(row.attributes.begin(), row.attributes.end(),
                                  [&](const Attribute& a) { return SameAttributeName(a.name, name); });
        if (found == row.attributes.end() || found->values.empty()) return E_ADS_COLUMN_NOT_SET;
        bool known = false;
        Syntax syntax = Syntax::String;
        HRESULT hr = m_connection->LookUpSyntax(found->name, known, syntax);
        if (FAILED(hr)) return hr;
        ADSTYPE type = known && syntax == Syntax::Dn ? ADSTYPE_DN_STRING : ADSTYPE_CASE_IGNORE_STRING;
        return FillColumn(name, type, found->values, *column);
    });
}

HRESULT WINAPI DirectoryObject::FreeColumn(PADS_SEARCH_COLUMN column) {
    if (!column) return E_ADS_BAD_PARAMETER;
    FreeColumnStorage(*column);
    return S_OK;
}

HRESULT WINAPI DirectoryObject::CloseSearchHandle(ADS_SEARCH_HANDLE handle) {
    auto found = std::find_if(m_searches.begin(), m_searches.end(),
                              [&](const std::unique_ptr<SearchState>& s) { return s.get() == static_cast<void*>(handle); });
    if (found == m_searches.end()) return E_ADS_BAD_PARAMETER;
    m_searches.erase(found);
    return S_OK;
}

}  // namespace Provider
