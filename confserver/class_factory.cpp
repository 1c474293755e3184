#include "confserver/class_factory.h"

#include "confserver/server_module.h"

#include <new>

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(ObjectCreator create) : create_(create) { AddServerReference(); }
    ~ClassFactory() { ReleaseServerReference(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        IUnknown* created = create_();
        if (created == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            AddServerReference();
        } else {
            ReleaseServerReference();
        }
        return S_OK;
    }

private:
    ObjectCreator create_;
    LONG references_ = 1;
};

}  // namespace

IClassFactory* CreateClassFactory(ObjectCreator create) { return new (std::nothrow) ClassFactory(create); }
