// Files and directories of a test: the program's own directory, scratch directories that remove
// themselves, whole-file reads and writes, and line splitting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

// Directory of the running program, ending in a backslash.
std::string ProgramDirectory();

// A fresh directory below the temporary folder, removed with its content at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory with a trailing backslash.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A path below the temporary folder that no earlier call of this process handed out: a file
// deleted while another component still holds it open stays in the way of a reused name.
std::string UniqueTempPath(const std::string& name);

void RemoveTree(const std::string& path);
bool IsDirectory(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// Empty when the file cannot be opened; readers share with writers and deleters.
std::string ReadFileBytes(const std::string& path);
// Split at LF; a CR before it is kept, so CR LF endings stay visible to a test that checks them.
std::vector<std::string> SplitLines(const std::string& text);
// The lines that begin with one of the prefixes, in order.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::vector<std::string>& prefixes);

}  // namespace test_support
