#include "tests/support/AdAnswers.h"

#include "tests/support/Environment.h"
#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <sstream>

namespace TestSupport {

namespace {

std::string Unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const char next = field[++i];
        text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return text;
}

void Fill(std::string& text, const std::string& placeholder, const std::string& value) {
    const size_t at = placeholder.empty() ? std::string::npos : text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

AdAnswer ReadAdAnswer(const std::string& name, const std::string& placeholder, const std::string& value) {
    std::string file;
    ReadWholeFile(Narrow(WindowsPathFrom(L"AD_ANSWERS")), file);
    std::istringstream lines(file);
    AdAnswer answer;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#' || line.compare(0, name.size() + 1, name + "\t") != 0) continue;
        std::istringstream fields(line);
        std::string field;
        std::getline(fields, field, '\t');
        std::getline(fields, field, '\t');
        answer.code = std::stoi(field);
        std::getline(fields, answer.escaped, '\t');
        Fill(answer.escaped, placeholder, value);
        answer.text = Unescaped(answer.escaped);
    }
    return answer;
}

}  // namespace TestSupport
