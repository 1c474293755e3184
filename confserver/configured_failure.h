// The HRESULT a method answers with before it looks at its strings. The shipped server always
// succeeds; a build for tests links another definition that fails as its registry says.
#pragma once

#include "confserver/service_answers.h"

#include <string>

HRESULT ConfiguredFailure(const ServiceAnswers& answers, const std::wstring& method);
