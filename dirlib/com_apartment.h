// A single-threaded COM apartment entered for one scope on the calling thread.
#pragma once

#include <objbase.h>

class ComApartment {
public:
    // S_OK and S_FALSE (the thread is already in a single-threaded apartment) both enter; any other
    // result, such as RPC_E_CHANGED_MODE on a thread of the multithreaded apartment, does not.
    ComApartment() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    // One CoUninitialize per successful CoInitializeEx, never one for a failed call.
    ~ComApartment() {
        if (entered()) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool entered() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};
