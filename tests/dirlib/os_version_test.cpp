#include "dirlib/os_version.h"
#include "dirlib/registry_lookups.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VersionCase {
    DWORD platform;
    DWORD major;
    DWORD minor;
    BYTE productType;
    WORD servicePack;
    int serverR2;
    int expectedClass;
};

constexpr DWORD kNt = VER_PLATFORM_WIN32_NT;
constexpr BYTE kWs = VER_NT_WORKSTATION;
constexpr BYTE kServer = VER_NT_SERVER;
constexpr BYTE kDc = VER_NT_DOMAIN_CONTROLLER;

// Every row of the classification, its neighbours on both sides and the conditions that split a row.
const VersionCase kCases[] = {
    {kNt, 4, 0, kWs, 6, 0, 0},
    {kNt, 5, 0, kWs, 4, 0, 0},
    {kNt, 5, 1, kWs, 0, 0, 1},
    {kNt, 5, 1, kWs, 1, 0, 2},
    {kNt, 5, 1, kWs, 2, 0, 3},
    {kNt, 5, 1, kWs, 3, 0, 4},
    {kNt, 5, 1, kWs, 4, 0, 1},
    {kNt, 5, 1, kServer, 2, 0, 3},
    {kNt, 5, 2, kServer, 0, 0, 5},
    {kNt, 5, 2, kServer, 2, 1, 6},
    {kNt, 5, 2, kWs, 2, 89, 6},
    {kNt, 5, 3, kServer, 0, 0, 0},
    {kNt, 6, 0, kWs, 0, 0, 7},
    {kNt, 6, 0, kWs, 1, 0, 8},
    {kNt, 6, 0, kWs, 2, 0, 9},
    {kNt, 6, 0, kWs, 3, 0, 7},
    {kNt, 6, 0, kServer, 1, 0, 10},
    {kNt, 6, 0, kDc, 2, 0, 10},
    {kNt, 6, 1, kWs, 0, 0, 11},
    {kNt, 6, 1, kWs, 1, 0, 12},
    {kNt, 6, 1, kWs, 2, 0, 11},
    {kNt, 6, 1, kServer, 1, 1, 13},
    {kNt, 6, 1, kDc, 0, 0, 13},
    {kNt, 6, 2, kWs, 1, 0, 14},
    {kNt, 6, 2, kServer, 0, 0, 15},
    {kNt, 6, 3, kWs, 0, 0, 16},
    {kNt, 6, 3, kServer, 0, 0, 17},
    {kNt, 6, 4, kWs, 0, 0, 0},
    {kNt, 7, 0, kWs, 0, 0, 0},
    {kNt, 9, 9, kServer, 0, 0, 0},
    {kNt, 10, 0, kWs, 0, 0, 18},
    {kNt, 10, 0, kServer, 0, 0, 19},
    {kNt, 10, 0, kDc, 0, 0, 19},
    {kNt, 10, 1, kWs, 0, 0, 0},
    {kNt, 11, 0, kWs, 0, 0, 100},
    {kNt, 11, 7, kServer, 0, 0, 101},
    {kNt, 12, 0, kDc, 0, 0, 101},
    {VER_PLATFORM_WIN32_WINDOWS, 10, 0, kWs, 0, 0, 0},
    {VER_PLATFORM_WIN32s, 6, 1, kWs, 1, 0, 0},
    {0, 0, 0, 0, 0, 0, 0},
};

TEST(ClassifyOsVersion, EveryRowAndThreshold) {
    for (const VersionCase& c : kCases) {
        OSVERSIONINFOEXW version = {};
        version.dwOSVersionInfoSize = sizeof version;
        version.dwPlatformId = c.platform;
        version.dwMajorVersion = c.major;
        version.dwMinorVersion = c.minor;
        version.wProductType = c.productType;
        version.wServicePackMajor = c.servicePack;
        EXPECT_EQ(c.expectedClass, _ClassifyOsVersion(version, c.serverR2))
            << "platform " << c.platform << " " << c.major << "." << c.minor << " product " << int(c.productType)
            << " SP " << c.servicePack << " R2 " << c.serverR2;
    }
}

TEST(GetOsVersionName, EveryClassHasItsTextAndTheRestIsUnknown) {
    const std::pair<int, const char*> names[] = {
        {1, "Windows XP"},
        {2, "Windows XP SP1"},
        {3, "Windows XP SP2"},
        {4, "Windows XP SP3"},
        {5, "Windows 2003 Server"},
        {6, "Windows 2003 Server R2"},
        {7, "Windows VISTA"},
        {8, "Windows VISTA SP1"},
        {9, "Windows VISTA SP2"},
        {10, "Windows 2008 Server"},
        {11, "Windows 7"},
        {12, "Windows 7 SP1"},
        {13, "Windows 2008 Server R2"},
        {14, "Windows 8"},
        {15, "Windows 2012 Server"},
        {16, "Windows 8.1"},
        {17, "Windows 2012 Server R2"},
        {18, "Windows 10"},
        {19, "Windows 2016 Server"},
        {100, "Windows Major > 10 und Minor x (nach Win10)"},
        {101, "Server Windows Major > 10 und Minor x (nach Server2016)"},
    };
    for (const auto& [versionClass, text] : names) EXPECT_EQ(text, _GetOsVersionName(versionClass)) << versionClass;
    for (int unknown : {0, 20, 50, 99, 102, -1, -100}) {
        EXPECT_EQ("Windows Version UNKNOWN", _GetOsVersionName(unknown)) << unknown;
    }
}

TEST(BuildDefaultSubPath, KindAndComponentChooseTheName) {
    EXPECT_EQ("Korvan\\Log\\Mirel\\", _BuildDefaultSubPath("X0000305", "Log"));
    EXPECT_EQ("Korvan\\Log\\Mirel\\", _BuildDefaultSubPath("X0000302", "Log"));
    EXPECT_EQ("Korvan\\Log\\Mirel\\", _BuildDefaultSubPath("X0000301", "Log"));
    EXPECT_EQ("Korvan\\Log\\Mirel\\", _BuildDefaultSubPath("X0000306", "Log"));
    EXPECT_EQ("Korvan\\Log\\Z1234567\\", _BuildDefaultSubPath("Z1234567", "Log"));
    EXPECT_EQ("Korvan\\Log\\X0000307\\", _BuildDefaultSubPath("X0000307", "Log"));
    EXPECT_EQ("Korvan\\Log\\X00003050\\", _BuildDefaultSubPath("X00003050", "Log"));
    EXPECT_EQ("Korvan\\Konfig\\MirelCompact\\", _BuildDefaultSubPath("X0000302", "Konfig"));
    EXPECT_EQ("Korvan\\Konfig\\X0000303\\", _BuildDefaultSubPath("X0000303", "Konfig"));
    EXPECT_EQ("Korvan\\Daten\\X0000303\\", _BuildDefaultSubPath("X0000303", "Daten"));
    EXPECT_EQ("Korvan\\Daten\\X0000302\\", _BuildDefaultSubPath("X0000302", "Daten"));
    // Kinds compare case-sensitively: "log" is some other kind.
    EXPECT_EQ("Korvan\\log\\X0000305\\", _BuildDefaultSubPath("X0000305", "log"));
    EXPECT_EQ("Korvan\\konfig\\X0000302\\", _BuildDefaultSubPath("X0000302", "konfig"));
}

}  // namespace
