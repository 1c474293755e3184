#include "doctor/findings.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace doctor {

namespace {

constexpr const char* kSectionTitles[] = {
    "",
    "Which module would run",
    "Library switches (HKLM\\SOFTWARE\\Korvan Mirel Compact, 32-bit view)",
    "Trace configuration (...\\KvTraceHub)",
    "Trace-library search",
    "Configuration service",
    "Directories of X0000303",
};

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok: return "ok";
        case Verdict::Warning: return "warning";
        default: return "problem";
    }
}

// Registry and path texts are in the ANSI code page; JSON wants UTF-8.
std::string Utf8(const std::string& text) {
    if (text.empty()) return text;
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], wideLength);
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &result[0], length, nullptr, nullptr);
    return result;
}

std::string JsonString(const std::string& text) {
    std::string result = "\"";
    for (const char c : Utf8(text)) {
        switch (c) {
            case '"': result += "\\\""; break;
            case '\\': result += "\\\\"; break;
            case '\n': result += "\\n"; break;
            case '\r': result += "\\r"; break;
            case '\t': result += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                    result += escaped;
                } else {
                    result += c;
                }
        }
    }
    return result + "\"";
}

}  // namespace

void Report::Ok(int section, const std::string& key, const std::string& text) {
    Add(Finding{section, key, Verdict::Ok, text, std::string()});
}

void Report::Warn(int section, const std::string& key, const std::string& text, const std::string& advice) {
    Add(Finding{section, key, Verdict::Warning, text, advice});
}

void Report::Problem(int section, const std::string& key, const std::string& text, const std::string& advice) {
    Add(Finding{section, key, Verdict::Problem, text, advice});
}

void Report::Add(Finding finding) {
    const auto after = std::upper_bound(findings_.begin(), findings_.end(), finding.section,
                                        [](int section, const Finding& other) { return section < other.section; });
    findings_.insert(after, std::move(finding));
}

int Report::ExitCode() const {
    for (const Finding& finding : findings_) {
        if (finding.verdict == Verdict::Problem) return 1;
    }
    return 0;
}

std::string RenderText(const Report& report) {
    std::string text;
    int section = 0;
    for (const Finding& finding : report.findings()) {
        if (finding.section != section) {
            section = finding.section;
            text += std::to_string(section) + ". " + kSectionTitles[section] + "\n";
        }
        char verdict[16];
        std::snprintf(verdict, sizeof verdict, "   %-10s", ("[" + std::string(VerdictName(finding.verdict)) + "]").c_str());
        text += verdict + finding.text + "\n";
        if (!finding.advice.empty()) text += "             -> " + finding.advice + "\n";
    }
    text += report.ExitCode() == 0 ? "Result: tracing and removal work as configured.\n"
                                   : "Result: a problem stops tracing or removal.\n";
    return text;
}

std::string RenderJson(const Report& report) {
    std::string json = "[\n";
    const std::vector<Finding>& findings = report.findings();
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        json += "  {\"section\": " + std::to_string(f.section) + ", \"key\": " + JsonString(f.key) +
                ", \"kind\": \"" + VerdictName(f.verdict) + "\", \"text\": " + JsonString(f.text) +
                ", \"advice\": " + JsonString(f.advice) + "}" + (i + 1 < findings.size() ? ",\n" : "\n");
    }
    return json + "]\n";
}

}  // namespace doctor
