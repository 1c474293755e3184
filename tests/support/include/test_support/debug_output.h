// Collects what OutputDebugStringA reports in this process while the capture lives.
#pragma once

#include <string>

namespace test_support {

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
    std::string Text() const;

private:
    void* handler_;
};

}  // namespace test_support
