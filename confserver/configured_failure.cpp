#include "confserver/configured_failure.h"

HRESULT ConfiguredFailure(const ServiceAnswers&, const std::wstring&) { return S_OK; }
