// The graphics API and its image helpers for the renderer: the system's own headers on
// Windows, the software device's stand-ins elsewhere. Renderer code includes this header
// instead of the API headers so that it builds unchanged on both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <d3d9.h>
#include <d3dx9.h>
