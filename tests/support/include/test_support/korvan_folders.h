// The folders the directory library guesses its directories in: the special folders as the library
// names them, the Korvan trees below them, and the temporary folder a test's child processes see.
// Programs that use these link shell32.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// A special folder with a trailing backslash, narrow as the library has it; empty when unknown.
std::string KnownFolder(const KNOWNFOLDERID& folder);

// Removes the Korvan trees (or files in their place) below the special folders, before and after.
class KorvanTrees {
public:
    KorvanTrees() { RemoveAll(); }
    ~KorvanTrees() { RemoveAll(); }
    KorvanTrees(const KorvanTrees&) = delete;
    KorvanTrees& operator=(const KorvanTrees&) = delete;

private:
    static void RemoveAll();
};

// TMP and TEMP of this process, and so of the children it starts, for the life of the object.
class TempDirOverride {
public:
    explicit TempDirOverride(const std::string& directory);
    ~TempDirOverride();
    TempDirOverride(const TempDirOverride&) = delete;
    TempDirOverride& operator=(const TempDirOverride&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace test_support
