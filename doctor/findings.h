// What the doctor found: one finding per fact, in the order the module would act, rendered for
// people or, with stable keys, for scripts and support tickets.
#pragma once

#include <string>
#include <vector>

namespace doctor {

enum class Verdict { Ok, Warning, Problem };

struct Finding {
    int section;
    std::string key;
    Verdict verdict;
    std::string text;
    // One line of what to do; empty for a finding that is ok.
    std::string advice;
};

class Report {
public:
    void Ok(int section, const std::string& key, const std::string& text);
    void Warn(int section, const std::string& key, const std::string& text, const std::string& advice);
    void Problem(int section, const std::string& key, const std::string& text, const std::string& advice);

    const std::vector<Finding>& findings() const { return findings_; }
    // 1 when a problem stops tracing or removal, else 0.
    int ExitCode() const;

private:
    // In section order, whichever section a check reports to; in each, in the order reported.
    void Add(Finding finding);

    std::vector<Finding> findings_;
};

std::string RenderText(const Report& report);
// A JSON array, one object per finding and line; texts are converted from the ANSI code page.
std::string RenderJson(const Report& report);

}  // namespace doctor
