// The server's test build fails a method with the HRESULT configured as "<Method>.HResult".
#include "confserver/configured_failure.h"

HRESULT ConfiguredFailure(const ServiceAnswers& answers, const std::wstring& method) {
    return static_cast<HRESULT>(answers.Number(method + L".HResult", S_OK));
}
