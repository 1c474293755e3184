// Running one directory operation in the scenario host and setting up what it looks at: the
// vendor's component records, the special folders' Korvan trees and the temporary directory.
#pragma once

#include "host_output.h"
#include "test_support.h"

#include <shlobj.h>

#include <string>
#include <vector>

namespace dirlib_test {

struct GetterRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
    // The operation's message lines ("I "/"E " and text) without those of the version classifier
    // and the configuration-service client, which have tests of their own.
    std::vector<std::string> lines;
    std::string result;
};

// "getter <op> <arguments>" in the host; arguments are separated by blanks, "" is an empty one.
GetterRun RunGetter(const std::string& arguments, const std::string& exeName = "dirlib_host.exe");

// Whether any message line of the run starts with the text (after "I " or "E ").
bool HasLineStartingWith(const GetterRun& run, const std::string& text);

// A special folder as the library names it, with a trailing backslash.
std::string KnownFolder(const KNOWNFOLDERID& folder);

// Removes the Korvan trees below the special folders the guesses use, before and after a test.
class KorvanTrees {
public:
    KorvanTrees();
    ~KorvanTrees();
    KorvanTrees(const KorvanTrees&) = delete;
    KorvanTrees& operator=(const KorvanTrees&) = delete;

private:
    static void RemoveAll();
};

// TMP and TEMP of this process, and so of the hosts it starts, for the life of the object.
class TempDirOverride {
public:
    explicit TempDirOverride(const std::wstring& directory);
    explicit TempDirOverride(const std::string& directory) : TempDirOverride(std::wstring(directory.begin(), directory.end())) {}
    ~TempDirOverride();
    TempDirOverride(const TempDirOverride&) = delete;
    TempDirOverride& operator=(const TempDirOverride&) = delete;

private:
    // Declared first: the saved values below are read together with them.
    bool hadTmp_ = false;
    bool hadTemp_ = false;
    std::wstring tmp_;
    std::wstring temp_;
};

// Wine starts its desktop process at the first window of a session and hands it the standard error
// of the process that needed it; started from a program whose output a test reads through a pipe
// (regsvr32, a host), it would hold that pipe open. Constructed before such programs run, this starts
// the desktop from a host whose reading does not wait for the pipe's end.
class DesktopReady {
public:
    DesktopReady();
};

// A copy of the scenario host under its own name, to which Wine reports the Windows version of
// the test's choice (its AppDefaults), so the library classifies it through the real RtlGetVersion.
class VersionedHost {
public:
    VersionedHost();
    ~VersionedHost();
    VersionedHost(const VersionedHost&) = delete;
    VersionedHost& operator=(const VersionedHost&) = delete;

    // Wine's name of the version: "winxp64", "win2003", "vista", "win7", "win10" and so on.
    void SetVersion(const std::string& version);
    GetterRun RunGetter(const std::string& arguments) const;

private:
    static std::string AppDefaultsKey();
};

// A directory with a name the ANSI code page cannot hold, which the narrow clean-up cannot reach.
class WideDir {
public:
    explicit WideDir(std::wstring path);
    ~WideDir();
    WideDir(const WideDir&) = delete;
    WideDir& operator=(const WideDir&) = delete;

    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// Records of one component in the vendor's registry, under its version subkey 2.0.
void SetComponentDirs(VendorRegistry& registry, const std::string& component, const std::string& fixedProgDir,
                      const std::string& progDir);
void SetComponentDir(VendorRegistry& registry, const std::string& component, const std::string& subKey,
                     const std::string& path);
void SetDataDir(VendorRegistry& registry, const std::string& component, const std::string& name, const std::string& path);
void SetSystemDir(VendorRegistry& registry, const std::string& path);

}  // namespace dirlib_test
