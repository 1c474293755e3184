#include "dirlib/path_dump.h"

#include "dirlib/locbase.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

#include <string>

void _DumpComponentPaths(const char* dumpFile) {
    _TracerWrite(kTraceInfo, "Init: Pfade f\xfcr %s werden einmalig nach <%s> ausgegeben", kDumpComponent, dumpFile);
    const std::string programDir = LBS_GetProgDir(kDumpComponent, false);
    const std::string dataDir = LBS_GetDataDir(kDumpComponent, true, "Data");
    const std::string konfigDir = LBS_GetKonfigDir(kDumpComponent);
    const std::string logDir = LBS_GetLogDir(kDumpComponent, true);
    const std::string userKonfigDir = LBS_GetKonfigDirCurrentUser(kDumpComponent, true);
    _InternTraceToFile(dumpFile, "Programm <%s>", programDir.c_str());
    _InternTraceToFile(dumpFile, "Daten <%s>", dataDir.c_str());
    _InternTraceToFile(dumpFile, "Konfig <%s>", konfigDir.c_str());
    _InternTraceToFile(dumpFile, "Log <%s>", logDir.c_str());
    _InternTraceToFile(dumpFile, "Konfig Benutzer <%s>", userKonfigDir.c_str());
}
