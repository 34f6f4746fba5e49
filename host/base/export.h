// INSTKIT_API marks what libinstkit exports: the classes and functions of
// the installed headers that a host, an embedding program or a subsystem
// library calls.  The library is built with hidden symbols
// (-fvisibility=hidden; on Windows the DLL exports only what is marked), so
// everything else stays inside it and may change without notice.
//
// A class marked INSTKIT_API exports all its members; a free function or a
// variable is marked at its declaration.  Inline functions need no mark.
//
// INSTKIT_BUILDING_LIBRARY is defined while the library's own sources are
// compiled; INSTKIT_STATIC when the sources are linked into a program
// directly (the test programs), where nothing is imported.
#pragma once

#if defined(_WIN32)
#if defined(INSTKIT_BUILDING_LIBRARY)
#define INSTKIT_API __declspec(dllexport)
#elif defined(INSTKIT_STATIC)
#define INSTKIT_API
#else
#define INSTKIT_API __declspec(dllimport)
#endif
#else
#define INSTKIT_API __attribute__((visibility("default")))
#endif
