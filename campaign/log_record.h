// Records of the cross-process campaign: each names its writer and number and carries a body
// whose length and letter follow from them, so a torn, merged or repeated record shows.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace log_record {

// The gate of writers started with "gate": each releases the semaphore once initialised, then
// waits for the event.
inline constexpr char kReadySemaphore[] = "TeskCampaignAppendReady";
inline constexpr char kGoEvent[] = "TeskCampaignAppendGo";

// "P<process>T<thread>N<number> L<length> <body>"
std::string Make(int process, int thread, int number);

struct Tally {
    // Records per writer (process, thread): numbers in the order they appear in the file.
    std::map<std::pair<int, int>, std::vector<int>> numbers;
    // Lines whose record part begins like a record but is no single well-formed one.
    std::vector<std::string> damagedLines;
    // Lines of other writers (the library's own messages); a record torn into one of them is
    // missing from `numbers`.
    std::vector<std::string> otherLines;
};

// Reads every line of `text`; a record is the end of its line, after `prefixFields` fields of
// the file's own prefix separated by `separator`.
Tally Read(const std::string& text, char separator, int prefixFields);

}  // namespace log_record
