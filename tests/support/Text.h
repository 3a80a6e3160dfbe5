// Conversions between the tests' wide texts and the narrow ones of
// GoogleTest messages and Linux command lines.
#pragma once

#include <string>

namespace TestSupport {

std::string Narrow(const std::wstring& text);  // UTF-8
std::wstring Widen(const std::string& text);   // from UTF-8
std::string Lower(std::string text);           // its ASCII letters in lower case

// A text for a failure message: line breaks written as \r and \n.
std::string Printable(const std::wstring& text);

// One word for /bin/sh, whatever it holds.
std::string ShellQuote(const std::string& text);

}  // namespace TestSupport
