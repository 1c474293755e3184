// The class object COM asks for each of the service's classes.
#pragma once

#include <windows.h>
#include <unknwn.h>

using ObjectCreator = IUnknown* (*)();

// A new factory with one reference held by the caller, or null when memory is short.
IClassFactory* CreateClassFactory(ObjectCreator create);
