// The operation log that the benchmarks read (WINEADSI_STATS): a "load" line
// when the provider is loaded, and one line per session opened ("connect"),
// per bind and per LDAP request,
// "<operation> <server> <dn> @<start> +<duration>", written when the
// operation ends. Times are milliseconds of QueryPerformanceCounter, the
// clock in which bench-probe reports the program's start.
#pragma once

#include <string>

namespace Provider {

void RecordLoad();

class OperationRecord {
public:
    OperationRecord(const wchar_t* operation, const std::wstring& server, const std::wstring& dn);
    ~OperationRecord();
    OperationRecord(const OperationRecord&) = delete;
    OperationRecord& operator=(const OperationRecord&) = delete;

private:
    const wchar_t* m_operation;
    const std::wstring& m_server;
    const std::wstring& m_dn;
    double m_start;
};

}  // namespace Provider
