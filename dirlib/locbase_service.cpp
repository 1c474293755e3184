#include "dirlib/locbase_service.h"

#include "dirlib/com_apartment.h"
#include "dirlib/locbase_com.h"
#include "dirlib/path_helpers.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

namespace {

constexpr char kTraceComponent[] = "X0000302";

// The value object's answer for one value type: true when the error number is 0 and every string the
// result is built from is there. An unknown type never reaches this point.
bool AskValue(ILocbaseValuePtr& value, std::int32_t valueType, LONG& errorNumber, std::string& result) {
    tesk::UniqueBstr first;
    tesk::UniqueBstr second;
    tesk::UniqueBstr third;
    tesk::UniqueBstr fourth;
    tesk::UniqueBstr fifth;
    switch (valueType) {
    case LocbaseValueKonfigDir:
        errorNumber = _CallLocbase(
            value, [&](ILocbaseValue* v, LONG* e) { return v->GetConfigPath(first.put(), second.put(), e); });
        if (errorNumber != 0 || !first) return false;
        result = _BstrToAnsi(first.get());
        return true;
    case LocbaseValueLogDir:
        errorNumber = _CallLocbase(value, [&](ILocbaseValue* v, LONG* e) {
            return v->GetLogPath(first.put(), second.put(), third.put(), fourth.put(), fifth.put(), e);
        });
        if (errorNumber != 0 || !first) return false;
        result = _BstrToAnsi(first.get());
        return true;
    case LocbaseValueProgDir:
        errorNumber = _CallLocbase(value, [&](ILocbaseValue* v, LONG* e) {
            return v->GetProgramPath(first.put(), second.put(), third.put(), e);
        });
        if (errorNumber != 0 || !first || !second) return false;
        result = _BstrToAnsi(first.get()) + "\\" + _BstrToAnsi(second.get());
        return true;
    default:
        errorNumber =
            _CallLocbase(value, [&](ILocbaseValue* v, LONG* e) { return v->GetUserConfigPath(1, first.put(), e); });
        if (errorNumber != 0 || !first) return false;
        result = _BstrToAnsi(first.get());
        return true;
    }
}

bool IsKnownValueType(std::int32_t valueType) {
    return valueType == LocbaseValueKonfigDir || valueType == LocbaseValueLogDir || valueType == LocbaseValueProgDir ||
           valueType == LocbaseValueUserKonfigDir;
}

// The system directory from the service; empty when it has none.
std::string SystemDirFromService() {
    std::string result;
    LONG errorNumber = 0;
    ComApartment apartment;
    if (!apartment.entered()) {
        _TracerWrite(kTraceError, "LBS_GetSystemDir: CoInitializeEx(...) war nicht erfolgreich!");
        return result;
    }
    try {
        ILocbaseWsInfoPtr wsInfo(CLSID_LocbaseWsInfo);
        if (wsInfo.GetInterfacePtr() == nullptr) {
            _TracerWrite(kTraceError, "LBS_GetSystemDir: pWsInfo.GetInterfacePtr() ist NULL!");
        } else {
            tesk::UniqueBstr path;
            errorNumber =
                _CallLocbase(wsInfo, [&](ILocbaseWsInfo* w, LONG* e) { return w->GetSystemPath(path.put(), e); });
            if (errorNumber == 0 && path) {
                result = _BstrToAnsi(path.get());
                path.reset();
                _TracerWrite(kTraceInfo, "LBS_GetSystemDir: Via Locbase Korvan-Systempfad <%s>!", result.c_str());
            } else {
                _TracerWrite(kTraceError, "LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <%d>!",
                             static_cast<int>(errorNumber));
            }
        }
    } catch (const _com_error& error) {
        result.clear();
        _TracerWrite(kTraceError, "LBS_GetSystenDir: Im Catch-ComError... <0x%08x>, <%s>",
                     static_cast<unsigned>(error.Error()), _ComErrorText(error).c_str());
    } catch (...) {
        result.clear();
        _TracerWrite(kTraceError, "LBS_GetSystenDir: Im Catch...");
    }
    if (errorNumber != 0) {
        _TracerWrite(kTraceError, "LBS_GetSystenDir: Locbase-Fehlernummer <%d>", static_cast<int>(errorNumber));
    }
    return result;
}

}  // namespace

std::string _GetValueFromLocbase(const std::string& component, std::int32_t valueType, const std::string& unused) {
    std::string result;
    LONG errorNumber = 0;
    ComApartment apartment;
    if (!apartment.entered()) {
        _TracerWrite(kTraceError, "_GetValueFromLocbase: CoInitializeEx(...) war nicht erfolgreich!");
        return result;
    }
    // Only the four value types of the service are asked for; any other is refused like 0.
    if (!IsKnownValueType(valueType)) {
        _TracerWrite(kTraceError, "_GetValueFromLocbase: Unbekannter Value-Typ <%d>!", static_cast<int>(valueType));
        return result;
    }
    try {
        ILocbaseValuePtr value(CLSID_LocbaseValue);
        {
            tesk::UniqueBstr componentText = _AnsiToBstr(component);
            tesk::UniqueBstr version = _AnsiToBstr("1.0");
            // Only a failing HRESULT of Init counts; its error number does not.
            _CallLocbase(value,
                         [&](ILocbaseValue* v, LONG* e) { return v->Init(componentText.get(), version.get(), e); });
        }
        std::string text;
        if (AskValue(value, valueType, errorNumber, text)) result = _AddBackslash(text);
        _TracerWrite(kTraceInfo, "_GetValueFromLocbase: Via Locbase ermittelter Wert <%s>", result.c_str());
    } catch (const _com_error& error) {
        result.clear();
        _TracerWrite(kTraceError, "_GetValueFromLocbase: Exception ComError gefangen <0x%08x>, <%s>",
                     static_cast<unsigned>(error.Error()), _ComErrorText(error).c_str());
    } catch (...) {
        result.clear();
        _TracerWrite(kTraceError, "_GetValueFromLocbase: Exception ... gefangen!");
    }
    if (errorNumber != 0) {
        _TracerWrite(kTraceError, "_GetValueFromLocbase: Locbase-Fehlernummer <%d>", static_cast<int>(errorNumber));
    }
    return result;
}

std::string LBS_GetAvailableDataDirLocbase(std::string component, std::string dataArea) {
    std::string result;
    LONG errorNumber = 0;
    {
        ComApartment apartment;
        if (!apartment.entered()) {
            _TracerWrite(kTraceError, "_GetActiveDataDirFromLocbase: CoInitializeEx(...) war nicht erfolgreich!");
            return result;
        }
        try {
            ILocbaseDirPtr dir;
            const HRESULT created = dir.CreateInstance(CLSID_LocbaseDir);
            if (FAILED(created)) {
                _TracerWrite(kTraceError,
                             "_GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <%d>!",
                             static_cast<int>(created));
            } else {
                {
                    tesk::UniqueBstr componentText = _AnsiToBstr(component);
                    tesk::UniqueBstr subArea = _AnsiToBstr("");
                    tesk::UniqueBstr area = _AnsiToBstr(dataArea);
                    errorNumber = _CallLocbase(dir, [&](ILocbaseDir* d, LONG* e) {
                        return d->Init(componentText.get(), subArea.get(), area.get(), 1, e);
                    });
                }
                if (errorNumber != 0) {
                    _TracerWrite(kTraceError, "_GetActiveDataDirFromLocbase: pDir->Init(...) nicht erfolgreich <%d>!",
                                 static_cast<int>(errorNumber));
                } else {
                    tesk::UniqueBstr path;
                    errorNumber =
                        _CallLocbase(dir, [&](ILocbaseDir* d, LONG* e) { return d->GetDirPath(path.put(), e); });
                    if (errorNumber != 0) {
                        _TracerWrite(kTraceError,
                                     "_GetActiveDataDirFromLocbase: pDir->GetDirPath(...) nicht erfolgreich <%d>!",
                                     static_cast<int>(errorNumber));
                    } else {
                        result = _BstrToAnsi(path.get());
                        path.reset();
                        _TracerWrite(kTraceInfo, "_GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <%s>!",
                                     result.c_str());
                    }
                }
            }
        } catch (const _com_error& error) {
            result.clear();
            _TracerWrite(kTraceError, "LBS_GetAvailableDataDirLocbase: Im Catch-ComError... <0x%08x>, <%s>",
                         static_cast<unsigned>(error.Error()), _ComErrorText(error).c_str());
        } catch (...) {
            result.clear();
            _TracerWrite(kTraceError, "LBS_GetAvailableDataDirLocbase: Im Catch...");
        }
        if (errorNumber != 0) {
            _TracerWrite(kTraceError, "LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <%d>",
                         static_cast<int>(errorNumber));
        }
    }
    return _AddBackslash(result);
}

std::string LBS_GetSystemDir(std::int32_t selector) {
    Init();
    std::string result;
    if (selector == 1) {
        if (g_librarySettings.locbaseActive) {
            result = SystemDirFromService();
        } else {
            _TracerWrite(kTraceInfo,
                         "LBS_GetSystenDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
        }
        if (!_PathExists(result)) {
            result = _GetSystemDirFromRegistry();
            _TracerWrite(kTraceInfo,
                         "LBS_GetSystemDir: Korvan-Systempfad <%s> \xfc"
                         "ber Registry ermittelt.",
                         result.c_str());
        }
    } else {
        result = _GetProgDirFromRegistry(kTraceComponent);
    }
    if (!_PathExists(result)) result = g_librarySettings.moduleDir;
    if (_PathExists(result)) {
        _TracerWrite(kTraceInfo, "LBS_GetSystemDir: Systempfad = \"%s\"", result.c_str());
    } else {
        _TracerWrite(kTraceError, "LBS_GetSystemDir: Konnten keinen Systempfad ermitteln!");
    }
    return _AddBackslash(result);
}
