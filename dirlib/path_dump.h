// The one-time dump of the directories of the dump component, made by the first Init.
#pragma once

// Asks the five component getters once and appends their answers to dumpFile.
void _DumpComponentPaths(const char* dumpFile);
