#include "trace/method_trace.h"

#include "trace/text_conversion.h"
#include "trace/trace_calls.h"

#include <sys/timeb.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>

namespace {

constexpr int32_t kErrorLevel = static_cast<int32_t>(TraceLevel::Error);
constexpr int32_t kUnwindingLevel = static_cast<int32_t>(TraceLevel::Critical);
constexpr char kUnwindingResult[] = "Fehlerinfo: StackUnwinding ~MethodTrace: Es ist eine Exception aufgetreten";

bool Traces(int32_t level, const std::string& category) {
    return TraceShouldTraceCategory(static_cast<TraceLevel>(level), category.c_str());
}

std::string PositionPart(int32_t sourceLine) {
    if (sourceLine < 1) return " ";
    return " (" + std::to_string(sourceLine) + ") ";
}

std::string LocalTimeOfDay() {
    __timeb64 now{};
    _ftime64_s(&now);
    tm local{};
    _localtime64_s(&local, &now.time);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.millitm));
    return text;
}

// A wide text converted on the stack for the length of one constructor call; null stays null.
class Narrowed {
public:
    explicit Narrowed(const wchar_t* wide) : null_(wide == nullptr) {
        if (!null_) ConvertToNarrow(wide, text_, sizeof text_);
    }
    const char* get() const { return null_ ? nullptr : text_; }

private:
    bool null_;
    char text_[kTextCapacity];
};

}  // namespace

MethodTrace::MethodTrace(int32_t level, const wchar_t* category, const wchar_t* functionName,
                         const wchar_t* sourceFile, int32_t sourceLine, const wchar_t* note)
    : MethodTrace(level, Narrowed(category).get(), Narrowed(functionName).get(), Narrowed(sourceFile).get(), sourceLine,
                  Narrowed(note).get()) {}

MethodTrace::MethodTrace(int32_t level, const char* category, const char* functionName, const char* sourceFile,
                         int32_t sourceLine, const char* note) {
    // Alive as long as the category traces errors, so that unwinding can still be reported.
    if (category == nullptr || category[0] == '\0' || functionName == nullptr || sourceFile == nullptr ||
        note == nullptr ||
        !TraceShouldTraceCategory(static_cast<TraceLevel>(std::min(level, kErrorLevel)), category)) {
        inactive_ = true;
        return;
    }
    level_ = level;
    category_ = category;
    functionName_ = functionName;

    const std::string tail = functionName_ + PositionPart(sourceLine) + note + " " + sourceFile;
    if (Traces(level_, category_)) {
        beginWritten_ = true;
        TraceWriteText(static_cast<TraceLevel>(level_), category_.c_str(), ("---> Beginn: " + tail).c_str());
    } else {
        deferredBegin_ = "---> Beginn (" + LocalTimeOfDay() + "): " + tail;
    }
}

MethodTrace::~MethodTrace() {
    // An inactive scope has no category, so not even unwinding could make it write: the
    // uncaught-exception test would change nothing.
    if (inactive_) return;
    try {
        Finish();
    } catch (...) {
        // A destructor that throws while an exception unwinds would end the host process.
    }
}

void MethodTrace::Finish() {
    if (std::uncaught_exceptions() > 0) {
        level_ = kUnwindingLevel;
        if (!beginWritten_) FlushDeferredBegin();
        resultText_ = kUnwindingResult;
    }
    if (!Traces(level_, category_)) return;
    std::string line = "<--- Ende: " + functionName_;
    if (!resultText_.empty()) line += "\t Returnwert: " + resultText_;
    TraceWriteText(static_cast<TraceLevel>(level_), category_.c_str(), line.c_str());
}

void MethodTrace::FlushDeferredBegin() {
    if (!Traces(level_, category_)) return;
    beginWritten_ = true;
    TraceWriteText(static_cast<TraceLevel>(level_), category_.c_str(), deferredBegin_.c_str());
    deferredBegin_.clear();
}
