#include "tracehub/debug_note.h"

#include <windows.h>

#include <string>

namespace kvtrace {

void DebugNote(std::string_view what) {
    try {
        std::string line = "KvTraceHub001: ";
        line.append(what);
        line += '\n';
        ::OutputDebugStringA(line.c_str());
    } catch (...) {
        ::OutputDebugStringA("KvTraceHub001: out of memory while reporting a problem\n");
    }
}

}  // namespace kvtrace
