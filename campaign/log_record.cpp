#include "campaign/log_record.h"

#include <cstdio>
#include <sstream>

namespace log_record {
namespace {

int BodyLength(int process, int thread, int number) { return 1 + (number * 37 + process * 11 + thread * 5) % 300; }
char BodyLetter(int process, int thread, int number) {
    return static_cast<char>('a' + (process * 7 + thread * 3 + number) % 26);
}

// The record after the prefix fields, or an empty text when the line has fewer fields.
std::string RecordOf(const std::string& line, char separator, int prefixFields) {
    size_t start = 0;
    for (int field = 0; field < prefixFields; ++field) {
        const size_t next = line.find(separator, start);
        if (next == std::string::npos) return std::string();
        start = next + 1;
    }
    return line.substr(start);
}

bool Parse(const std::string& record, int& process, int& thread, int& number) {
    int length = 0;
    int consumed = 0;
    if (std::sscanf(record.c_str(), "P%dT%dN%d L%d %n", &process, &thread, &number, &length, &consumed) != 4) {
        return false;
    }
    const std::string body = record.substr(static_cast<size_t>(consumed));
    return length == BodyLength(process, thread, number) &&
           body == std::string(static_cast<size_t>(length), BodyLetter(process, thread, number));
}

}  // namespace

std::string Make(int process, int thread, int number) {
    const int length = BodyLength(process, thread, number);
    char head[64];
    std::snprintf(head, sizeof head, "P%dT%dN%d L%d ", process, thread, number, length);
    return head + std::string(static_cast<size_t>(length), BodyLetter(process, thread, number));
}

Tally Read(const std::string& text, char separator, int prefixFields) {
    Tally tally;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        int process = 0;
        int thread = 0;
        int number = 0;
        const std::string record = RecordOf(line, separator, prefixFields);
        if (Parse(record, process, thread, number)) {
            tally.numbers[{process, thread}].push_back(number);
        } else if (record.size() >= 2 && record[0] == 'P' && record[1] >= '0' && record[1] <= '9') {
            tally.damagedLines.push_back(line);
        } else {
            tally.otherLines.push_back(line);
        }
    }
    return tally;
}

}  // namespace log_record
