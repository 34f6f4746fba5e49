/*
 * The contract between the installer driver and a subsystem library.
 *
 * A subsystem library is a shared library (a DLL on Windows) named by the
 * "Library" key of a subsystem in the installation description.  The driver
 * (TDllLoader over a live catalogue, TDllsLoader over a flat tree image)
 * loads it, looks its entry points up by their exact, case-sensitive names,
 * hands it the run parameters, asks its questions and has it do its work.
 * This header is plain C: include it from C or C++ and export the entry
 * points you need with INSTKIT_SUBSYSTEM_EXPORT ... INSTKIT_CALL.
 *
 *   INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) { ... }
 *
 * (In C++ wrap the definitions in extern "C" so the names stay undecorated.
 * On 32-bit Windows stdcall names must be exported undecorated, e.g. with a
 * .def file.)
 *
 * ---------------------------------------------------------------------------
 * Argument and result conventions
 *
 *   text      const char*, zero-terminated, Windows-1251.  Valid only during the
 *             call: copy what you keep.  Never null; empty is "".
 *   byte      passed in a 32-bit slot; only the low 8 bits are defined.  Read
 *             it as (uint8_t)arg.
 *   integer   signed 32-bit.
 *   pointer   an address, possibly null.
 *   boolean   result: the driver looks only at the low 8 bits; 0 is FALSE,
 *             anything else TRUE.
 *   code      result: the driver looks only at the low 8 bits (0, 1, 2, ...).
 *
 * Every entry point takes at most one argument.  Callbacks and entry points
 * use INSTKIT_CALL (stdcall on 32-bit Windows, the platform default elsewhere).
 *
 * ---------------------------------------------------------------------------
 * Calling order in one run (per subsystem record; a file named by several
 * subsystems is loaded once per record and sees every call once per record)
 *
 *   1. load (the library's constructors / DllMain run)
 *   2. setup, libraries one after another in catalogue order:
 *        SetLogCallBack(log)
 *        SetTreePointer(image)       FALSE: setup fails, nothing below is called
 *        SetExternalParameter(text)  FALSE: "invalid parameter" message, setup fails
 *        SetIUGRegim(mode)           FALSE: "mode not supported" message, setup fails
 *        SetQuestionsLevel(level)    result ignored
 *        SetPath(path)               result ignored
 *        SetClientNumber(number)     result ignored
 *        SetProgressCallBack(cb)     result ignored
 *        SetSessionName(name)        result ignored
 *        SetHideProgressCallBack(cb) result ignored
 *        SetShowProgressCallBack(cb) result ignored
 *      After a failed setup the operator may abort the whole setup (install
 *      and uninstall modes); later libraries then get no setup calls.
 *   3. AskQuestions(), only when setup succeeded:
 *        1 answered; 0 not answered (the operator is asked whether to abort);
 *        2 the library asks to abort the run (it is not performed);
 *        other: the library is left out of the work phase silently.
 *   4. Perform(), only when AskQuestions returned 1:
 *        1 done; 0 failed (the operator is asked whether to abort);
 *        2 the library aborted (the run is marked aborted; in install mode the
 *          subsystem still counts as done); other: not done, no message.
 *      After Perform the driver calls the host's progress callback with
 *      (100, "", 0); when it answers FALSE the work phase stops at once.
 *   5. At any time, possibly from another thread while Perform runs:
 *        UserAbort(), UserSuspendThread(), UserResumeThread().
 *      Keep these three safe to call concurrently with Perform.
 *   6. unload.
 *
 * An entry point that is not exported is skipped.  A library without
 * AskQuestions is never performed; one without Perform never counts as done.
 * A library that exports nothing is loaded and counts as set up.
 *
 * Keep everything you need for AskQuestions and Perform from the setup calls:
 * they take no arguments.
 *
 * ---------------------------------------------------------------------------
 * The flat tree image (SetTreePointer)
 *
 * The image is the node record of the library's subsystem with its whole
 * subtree, or null (the flat-image driver passes null for a subsystem without
 * children).  It stays valid, at the same address, until the work phase has
 * ended.  Node record layout (all integers 32-bit little-endian, unaligned):
 *
 *   +0   RestSize    size of the record minus 4
 *   +4   DataSize    14 + L1 + L2 + L3
 *   +8   Checked     byte, 0/1: write your result for a child subsystem here
 *   +9   IsInst      byte, 0/1
 *   +10  Library     counted string: int32 length L1 + bytes
 *        Parameter   counted string (L2)
 *        ShortName   counted string (L3)
 *   +8+DataSize      ChildCount
 *   +12+DataSize     the child records, back to back, in child order
 *
 * To report the result of a child subsystem, store 1 (done) or 0 in byte +8
 * of that child's record; the node-tree driver reads those bytes back into
 * its catalogue (TDllLoader::SetInstalled).  A library may drive the
 * libraries of its own children with TDllsLoader on this very image; their
 * results then land in the child records.
 */
#ifndef INSTKIT_DLLLOAD_SUBSYSTEM_API_H_
#define INSTKIT_DLLLOAD_SUBSYSTEM_API_H_

#include <stdint.h>

/* This header is handed to library authors on its own, so it decides the
 * calling convention and the export attribute itself. */
#if defined(_WIN32) && !defined(_WIN64)
#define INSTKIT_CALL __stdcall
#else
#define INSTKIT_CALL
#endif

#if defined(_WIN32)
#define INSTKIT_SUBSYSTEM_EXPORT_ATTR __declspec(dllexport)
#else
#define INSTKIT_SUBSYSTEM_EXPORT_ATTR __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define INSTKIT_SUBSYSTEM_EXPORT extern "C" INSTKIT_SUBSYSTEM_EXPORT_ATTR
#else
#define INSTKIT_SUBSYSTEM_EXPORT INSTKIT_SUBSYSTEM_EXPORT_ATTR
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Modes (the argument of SetIUGRegim). */
#define INSTKIT_MODE_INSTALL 1
#define INSTKIT_MODE_UNINSTALL 2
#define INSTKIT_MODE_GENERATE 3

/* Results of AskQuestions and Perform. */
#define INSTKIT_RESULT_FAILED 0
#define INSTKIT_RESULT_DONE 1
#define INSTKIT_RESULT_ABORT 2

/* Outcome codes of the driver's phases (SetAll, AskState, PerformAll). */
#define INSTKIT_OUTCOME_FAILURE 0
#define INSTKIT_OUTCOME_COMPLETED 1
#define INSTKIT_OUTCOME_ABORTED 2

/* Booleans across the boundary. */
#define INSTKIT_FALSE 0
#define INSTKIT_TRUE 1

/* Host callbacks. */
/* One complete log line (already starting with a blank). */
typedef void(INSTKIT_CALL* InstkitLogCallback)(const char* line);
/* Progress: percent, text, extra (the driver passes 100, "", 0).  FALSE asks
 * the driver to stop the work phase. */
typedef int32_t(INSTKIT_CALL* InstkitProgressCallback)(int32_t percent, const char* text, int32_t extra);
/* Hide and show the host's progress display.  The driver only hands these
 * on; their use is agreed between host and library.  The instkit run engine
 * passes callbacks that tell its host the progress display is shown or
 * hidden. */
typedef void(INSTKIT_CALL* InstkitHideProgressCallback)(void);
typedef void(INSTKIT_CALL* InstkitShowProgressCallback)(void);

/* Entry points. */
typedef int32_t(INSTKIT_CALL* InstkitSetLogCallBackProc)(InstkitLogCallback callback);
typedef int32_t(INSTKIT_CALL* InstkitSetTreePointerProc)(void* image);
typedef int32_t(INSTKIT_CALL* InstkitSetExternalParameterProc)(const char* parameter);
typedef int32_t(INSTKIT_CALL* InstkitSetIUGRegimProc)(int32_t mode);
typedef int32_t(INSTKIT_CALL* InstkitSetQuestionsLevelProc)(int32_t level);
typedef int32_t(INSTKIT_CALL* InstkitSetPathProc)(const char* path);
typedef int32_t(INSTKIT_CALL* InstkitSetClientNumberProc)(int32_t number);
typedef int32_t(INSTKIT_CALL* InstkitSetProgressCallBackProc)(InstkitProgressCallback callback);
typedef int32_t(INSTKIT_CALL* InstkitSetSessionNameProc)(const char* name);
typedef int32_t(INSTKIT_CALL* InstkitSetHideProgressCallBackProc)(InstkitHideProgressCallback callback);
typedef int32_t(INSTKIT_CALL* InstkitSetShowProgressCallBackProc)(InstkitShowProgressCallback callback);
typedef int32_t(INSTKIT_CALL* InstkitAskQuestionsProc)(void);
typedef int32_t(INSTKIT_CALL* InstkitPerformProc)(void);
typedef void(INSTKIT_CALL* InstkitUserAbortProc)(void);
typedef void(INSTKIT_CALL* InstkitUserSuspendThreadProc)(void);
typedef void(INSTKIT_CALL* InstkitUserResumeThreadProc)(void);

/* Exported names, exactly as the driver looks them up (note "SetIUGRegim"). */
#define INSTKIT_NAME_SET_LOG_CALLBACK "SetLogCallBack"
#define INSTKIT_NAME_SET_TREE_POINTER "SetTreePointer"
#define INSTKIT_NAME_SET_EXTERNAL_PARAMETER "SetExternalParameter"
#define INSTKIT_NAME_SET_IUG_REGIM "SetIUGRegim"
#define INSTKIT_NAME_SET_QUESTIONS_LEVEL "SetQuestionsLevel"
#define INSTKIT_NAME_SET_PATH "SetPath"
#define INSTKIT_NAME_SET_CLIENT_NUMBER "SetClientNumber"
#define INSTKIT_NAME_SET_PROGRESS_CALLBACK "SetProgressCallBack"
#define INSTKIT_NAME_SET_SESSION_NAME "SetSessionName"
#define INSTKIT_NAME_SET_HIDE_PROGRESS_CALLBACK "SetHideProgressCallBack"
#define INSTKIT_NAME_SET_SHOW_PROGRESS_CALLBACK "SetShowProgressCallBack"
#define INSTKIT_NAME_ASK_QUESTIONS "AskQuestions"
#define INSTKIT_NAME_PERFORM "Perform"
#define INSTKIT_NAME_USER_ABORT "UserAbort"
#define INSTKIT_NAME_USER_SUSPEND_THREAD "UserSuspendThread"
#define INSTKIT_NAME_USER_RESUME_THREAD "UserResumeThread"

#ifdef __cplusplus
}
#endif

#endif /* INSTKIT_DLLLOAD_SUBSYSTEM_API_H_ */
