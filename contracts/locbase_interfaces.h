// The configuration service's objects and interfaces, shared by the server and its clients.
// Every method returns an HRESULT and, as its last argument, the service's error number (0 is
// success). Strings are BSTRs; the caller frees every string it receives, also on a non-zero error
// number. The methods stand in the order in which the clients rely on them; never reorder them.
#pragma once

#include <windows.h>
#include <ole2.h>

// Where the server reads the answers an administrator configures (32-bit view), and the value there
// that names its journal file; the server in wide text, its diagnosis in narrow.
#define TESK_LOCBASE_SERVICE_KEY "SOFTWARE\\Korvan Mirel Compact\\LocbaseService"
inline constexpr char kLocbaseServiceKey[] = TESK_LOCBASE_SERVICE_KEY;
inline constexpr wchar_t kLocbaseServiceKeyW[] = L"" TESK_LOCBASE_SERVICE_KEY;
#undef TESK_LOCBASE_SERVICE_KEY
inline constexpr char kLocbaseJournalValue[] = "Journal";
inline constexpr wchar_t kLocbaseJournalValueW[] = L"Journal";

// Class identifiers of the three objects.
// {75E51E15-A4D0-4028-8FD3-D3543A34493B}
inline constexpr CLSID CLSID_LocbaseWsInfo = {
    0x75e51e15, 0xa4d0, 0x4028, {0x8f, 0xd3, 0xd3, 0x54, 0x3a, 0x34, 0x49, 0x3b}};
// {612B539A-9455-4D4A-959C-1B9AC504B611}
inline constexpr CLSID CLSID_LocbaseDir = {
    0x612b539a, 0x9455, 0x4d4a, {0x95, 0x9c, 0x1b, 0x9a, 0xc5, 0x04, 0xb6, 0x11}};
// {3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}
inline constexpr CLSID CLSID_LocbaseValue = {
    0x3dbb8ef5, 0xcdc9, 0x42af, {0x8d, 0xe8, 0xed, 0x10, 0xa4, 0x3e, 0xca, 0x21}};

// The workstation's information: where the vendor's system files lie.
struct ILocbaseWsInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSystemPath(BSTR* path, LONG* errorNumber) = 0;
};
__CRT_UUID_DECL(ILocbaseWsInfo, 0xc052fb82, 0x0613, 0x4532, 0x83, 0xb5, 0xf9, 0x79, 0x17, 0x0e, 0xb5, 0xf0)

// One named data area of one component; Init comes first, then GetDirPath.
struct ILocbaseDir : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDirPath(BSTR* path, LONG* errorNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE Init(BSTR component, BSTR subArea, BSTR dataArea, LONG instance,
                                           LONG* errorNumber) = 0;
};
__CRT_UUID_DECL(ILocbaseDir, 0xe8a61f9b, 0x7f0b, 0x45bd, 0xb1, 0x15, 0xd6, 0x34, 0xf4, 0x98, 0xf0, 0x11)

// The directories of one component; Init comes first.
struct ILocbaseValue : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(BSTR component, BSTR version, LONG* errorNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConfigPath(BSTR* path, BSTR* fileName, LONG* errorNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path, BSTR* archivePath, BSTR* fileName, BSTR* level,
                                                 BSTR* maxSize, LONG* errorNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProgramPath(BSTR* basePath, BSTR* programPath, BSTR* version,
                                                     LONG* errorNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserConfigPath(LONG scope, BSTR* path, LONG* errorNumber) = 0;
};
__CRT_UUID_DECL(ILocbaseValue, 0xa948f00d, 0xc887, 0x4528, 0xad, 0xa7, 0x79, 0xc0, 0x69, 0x49, 0x64, 0x56)
