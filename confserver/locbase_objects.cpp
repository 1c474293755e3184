#include "confserver/locbase_objects.h"

#include "contracts/locbase_interfaces.h"
#include "confserver/configured_failure.h"
#include "confserver/server_module.h"
#include "confserver/service_answers.h"
#include "platform/unique_resource.h"

#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::wstring Text(BSTR text) { return text != nullptr ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

// A call's arguments as the journal shows them: " <first> <second>".
std::wstring Journalled(std::initializer_list<std::wstring> arguments) {
    std::wstring text;
    for (const std::wstring& argument : arguments) text += L" <" + argument + L">";
    return text;
}

std::wstring NoArguments() { return std::wstring(); }

// Reference counting, QueryInterface, error information and the running state (clients run each
// object with OleRun before they ask for its interface) shared by the three objects.
template <typename Interface>
class LocbaseObject : public Interface, public ISupportErrorInfo, public IRunnableObject {
public:
    using Implemented = Interface;

    // Nothing here allocates once the server counts the object: a failure after that would
    // leave the server referenced for ever.
    LocbaseObject(const wchar_t* name, const CLSID& clsid) : name_(name), clsid_(clsid) {
        AddServerReference();
        JournalLine({name_, L" created"});
    }
    virtual ~LocbaseObject() {
        JournalLine({name_, L" released"});
        ReleaseServerReference();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else if (iid == IID_IRunnableObject) {
            *object = static_cast<IRunnableObject*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Interface) ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID* clsid) override {
        if (clsid == nullptr) return E_INVALIDARG;
        *clsid = clsid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(IBindCtx*) override {
        if (!running_) JournalLine({name_, L" running"});
        running_ = true;
        return S_OK;
    }
    BOOL STDMETHODCALLTYPE IsRunning() override { return running_ ? TRUE : FALSE; }
    HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }

protected:
    // One call answered as configured for `method`: its HRESULT, its error number and its strings
    // ("<method>" the first, "<method>.2" and on the further ones). `prepare` runs first and gives
    // the journal's argument text. Memory running out anywhere, in `prepare` too, makes the call's
    // E_OUTOFMEMORY: no exception leaves the server.
    template <typename Prepare>
    HRESULT Answer(const wchar_t* method, std::initializer_list<BSTR*> strings, LONG* errorNumber,
                   Prepare prepare) noexcept {
        if (errorNumber == nullptr) return E_POINTER;
        for (BSTR* string : strings) {
            if (string == nullptr) return E_POINTER;
            *string = nullptr;
        }
        *errorNumber = 0;
        try {
            const std::wstring arguments = prepare();
            JournalLine({name_, L".", method, arguments});
            const HRESULT hr = ConfiguredFailure(answers_, method);
            if (FAILED(hr)) return Fail(method, hr);
            std::vector<tesk::UniqueBstr> texts;
            for (size_t i = 0; i < strings.size(); ++i) {
                const std::optional<std::wstring> text =
                    answers_.String(i == 0 ? method : method + (L"." + std::to_wstring(i + 1)));
                texts.emplace_back(text ? ::SysAllocStringLen(text->data(), static_cast<UINT>(text->size())) : nullptr);
                if (text && !texts.back()) return Fail(method, E_OUTOFMEMORY);
            }
            // Everything that can fail comes before the strings are handed out.
            const LONG number = answers_.Number(std::wstring(method) + L".Error", 0);
            size_t i = 0;
            for (BSTR* string : strings) *string = texts[i++].release();
            *errorNumber = number;
            ::SetErrorInfo(0, nullptr);
            return S_OK;
        } catch (...) {
            return Fail(method, E_OUTOFMEMORY);
        }
    }

    ServiceAnswers answers_;

private:
    // The failing HRESULT with error information that names the object and the method.
    HRESULT Fail(const wchar_t* method, HRESULT hr) noexcept {
        ICreateErrorInfo* create = nullptr;
        if (FAILED(::CreateErrorInfo(&create))) return hr;
        try {
            const std::wstring description = std::wstring(name_) + L"." + method + L" failed as configured";
            create->SetGUID(__uuidof(Interface));
            create->SetSource(const_cast<wchar_t*>(L"KvLocbaseService"));
            create->SetDescription(const_cast<wchar_t*>(description.c_str()));
            IErrorInfo* info = nullptr;
            if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
                ::SetErrorInfo(0, info);
                info->Release();
            }
        } catch (...) {
            // Without memory for the description the caller still gets the HRESULT.
        }
        create->Release();
        return hr;
    }

    const wchar_t* name_;
    CLSID clsid_;
    bool running_ = false;
    LONG references_ = 1;
};

class LocbaseWsInfo final : public LocbaseObject<ILocbaseWsInfo> {
public:
    LocbaseWsInfo() : LocbaseObject(L"LocbaseWsInfo", CLSID_LocbaseWsInfo) {}

    HRESULT STDMETHODCALLTYPE GetSystemPath(BSTR* path, LONG* errorNumber) override {
        return Answer(L"GetSystemPath", {path}, errorNumber, NoArguments);
    }
};

class LocbaseDir final : public LocbaseObject<ILocbaseDir> {
public:
    LocbaseDir() : LocbaseObject(L"LocbaseDir", CLSID_LocbaseDir) {}

    HRESULT STDMETHODCALLTYPE GetDirPath(BSTR* path, LONG* errorNumber) override {
        return Answer(L"GetDirPath", {path}, errorNumber, NoArguments);
    }
    // Later answers come from the component's and the data area's own keys first.
    HRESULT STDMETHODCALLTYPE Init(BSTR component, BSTR subArea, BSTR dataArea, LONG instance,
                                   LONG* errorNumber) override {
        return Answer(L"DirInit", {}, errorNumber, [&] {
            answers_.Narrow(Text(component), Text(dataArea));
            return Journalled({Text(component), Text(subArea), Text(dataArea), std::to_wstring(instance)});
        });
    }
};

class LocbaseValue final : public LocbaseObject<ILocbaseValue> {
public:
    LocbaseValue() : LocbaseObject(L"LocbaseValue", CLSID_LocbaseValue) {}

    HRESULT STDMETHODCALLTYPE Init(BSTR component, BSTR version, LONG* errorNumber) override {
        return Answer(L"ValueInit", {}, errorNumber, [&] {
            answers_.Narrow(Text(component));
            return Journalled({Text(component), Text(version)});
        });
    }
    HRESULT STDMETHODCALLTYPE GetConfigPath(BSTR* path, BSTR* fileName, LONG* errorNumber) override {
        return Answer(L"GetConfigPath", {path, fileName}, errorNumber, NoArguments);
    }
    HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path, BSTR* archivePath, BSTR* fileName, BSTR* level, BSTR* maxSize,
                                         LONG* errorNumber) override {
        return Answer(L"GetLogPath", {path, archivePath, fileName, level, maxSize}, errorNumber, NoArguments);
    }
    HRESULT STDMETHODCALLTYPE GetProgramPath(BSTR* basePath, BSTR* programPath, BSTR* version,
                                             LONG* errorNumber) override {
        return Answer(L"GetProgramPath", {basePath, programPath, version}, errorNumber, NoArguments);
    }
    HRESULT STDMETHODCALLTYPE GetUserConfigPath(LONG scope, BSTR* path, LONG* errorNumber) override {
        return Answer(L"GetUserConfigPath", {path}, errorNumber, [scope] { return Journalled({std::to_wstring(scope)}); });
    }
};

template <typename Object>
IUnknown* Create() noexcept {
    try {
        return static_cast<IUnknown*>(static_cast<typename Object::Implemented*>(new Object()));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

IUnknown* CreateLocbaseWsInfo() { return Create<LocbaseWsInfo>(); }
IUnknown* CreateLocbaseDir() { return Create<LocbaseDir>(); }
IUnknown* CreateLocbaseValue() { return Create<LocbaseValue>(); }
