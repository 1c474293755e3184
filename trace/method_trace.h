// Frames one call of a function in the trace with a begin and an end line. A scope whose level
// is not traced keeps its stamped begin line back and shows it only if an exception unwinds it.
// Wide texts are converted as the trace calls convert theirs; callers with constant texts pass their
// narrow twins (NarrowLiteral), so that a scope whose category is not traced costs one level question.
#pragma once

#include <cstdint>
#include <string>

class MethodTrace {
public:
    MethodTrace(int32_t level, const wchar_t* category, const wchar_t* functionName, const wchar_t* sourceFile,
                int32_t sourceLine, const wchar_t* note);
    MethodTrace(int32_t level, const char* category, const char* functionName, const char* sourceFile,
                int32_t sourceLine, const char* note);
    ~MethodTrace();
    MethodTrace(const MethodTrace&) = delete;
    MethodTrace& operator=(const MethodTrace&) = delete;

private:
    void FlushDeferredBegin();
    void Finish();

    bool inactive_ = false;
    bool beginWritten_ = false;
    int32_t level_ = 0;
    std::string category_;
    std::string functionName_;
    std::string resultText_;
    std::string deferredBegin_;
};
