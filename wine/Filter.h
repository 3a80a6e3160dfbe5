// The syntax of a search filter (RFC 4515), checked before anything is sent.
#pragma once

#include <string>

namespace Provider {

// True when filter is one well-formed filter, parentheses balanced, every
// item "attribute op value" with op one of = ~= >= <= :=, and every escape
// a backslash with two hex digits.
bool IsWellFormedFilter(const std::wstring& filter);

}  // namespace Provider
