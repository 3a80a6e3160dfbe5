#include "wine/Filter.h"

#include <cwctype>

namespace Provider {

namespace {

class Parser {
public:
    explicit Parser(const std::wstring& text) : m_text(text) {}

    bool Whole() { return Filter() && m_pos == m_text.size(); }

private:
    bool Peek(wchar_t c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool Take(wchar_t c) {
        if (!Peek(c)) return false;
        ++m_pos;
        return true;
    }

    bool Filter() {
        if (!Take(L'(')) return false;
        bool ok;
        if (Take(L'&') || Take(L'|')) {
            ok = true;
            while (ok && Peek(L'(')) ok = Filter();
        } else if (Take(L'!')) {
            ok = Filter();
        } else {
            ok = Item();
        }
        return ok && Take(L')');
    }

    // attribute [":dn"] [":rule"] op value; the extensible forms only need
    // their ":=" to be found.
    bool Item() {
        size_t start = m_pos;
        while (m_pos < m_text.size() && (std::iswalnum(m_text[m_pos]) || m_text[m_pos] == L'-' ||
                                         m_text[m_pos] == L'.' || m_text[m_pos] == L';' || m_text[m_pos] == L':'))
            ++m_pos;
        bool named = m_pos > start;
        if (Take(L'~') || Take(L'>') || Take(L'<')) {
            if (!named) return false;
        } else if (named && m_text[m_pos - 1] == L':') {
            // ":=" of an extensible match: the colon was read with the name.
        } else if (!named) {
            return false;
        }
        if (!Take(L'=')) return false;
        return Value();
    }

    bool Value() {
        while (m_pos < m_text.size() && !Peek(L')')) {
            wchar_t c = m_text[m_pos++];
            if (c == L'(') return false;
            if (c == L'\\') {
                for (int i = 0; i < 2; ++i, ++m_pos)
                    if (m_pos >= m_text.size() || !std::iswxdigit(m_text[m_pos])) return false;
            }
        }
        return true;
    }

    const std::wstring& m_text;
    size_t m_pos = 0;
};

}  // namespace

bool IsWellFormedFilter(const std::wstring& filter) { return Parser(filter).Whole(); }

}  // namespace Provider
