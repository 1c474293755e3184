#include "test_support/import_patch.h"

#include <cstdlib>
#include <cstring>

void* PatchImport(HMODULE module, const char* importedDll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;

    for (auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), importedDll) != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;

            DWORD oldProtection = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtection, &oldProtection);
            return previous;
        }
    }
    return nullptr;
}

bool PatchCrtHeap(HMODULE module, const CrtHeapFunctions& replacements, CrtHeapFunctions& previous) {
    previous.malloc = reinterpret_cast<decltype(previous.malloc)>(
        PatchImport(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(replacements.malloc)));
    previous.calloc = reinterpret_cast<decltype(previous.calloc)>(
        PatchImport(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(replacements.calloc)));
    previous.realloc = reinterpret_cast<decltype(previous.realloc)>(
        PatchImport(module, "msvcrt.dll", "realloc", reinterpret_cast<void*>(replacements.realloc)));
    previous.free = reinterpret_cast<decltype(previous.free)>(
        PatchImport(module, "msvcrt.dll", "free", reinterpret_cast<void*>(replacements.free)));
    // calloc and realloc may be absent from a module's imports; malloc and free never are.
    if (previous.calloc == nullptr) previous.calloc = &std::calloc;
    if (previous.realloc == nullptr) previous.realloc = &std::realloc;
    return previous.malloc != nullptr && previous.free != nullptr;
}
