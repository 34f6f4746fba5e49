/*
 * A minimal subsystem library: the smallest complete implementation of the
 * entry-point contract in Dllload/subsystem_api.h, in plain C with no
 * dependency on the instkit library.
 *
 * It accepts every mode and any parameter, answers its questions at once,
 * and in Perform writes one log line with what it was given, marks every
 * child subsystem of its flat tree image as done, and reports 100 percent.
 * A UserAbort that arrives before Perform makes Perform answer "aborted".
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "Dllload/subsystem_api.h"

#define EXAMPLE_TEXT_SIZE 260

static InstkitLogCallback g_log;
static InstkitProgressCallback g_progress;
static const unsigned char* g_image;
static uint8_t g_mode;
static int32_t g_client;
static char g_path[EXAMPLE_TEXT_SIZE];
static char g_session[EXAMPLE_TEXT_SIZE];
static volatile int32_t g_aborted;

/* Texts are only valid during the call: keep a bounded copy. */
static void Keep(char* target, const char* text) {
  size_t n = text ? strlen(text) : 0;
  if (n >= EXAMPLE_TEXT_SIZE) n = EXAMPLE_TEXT_SIZE - 1;
  if (n > 0) memcpy(target, text, n);
  target[n] = '\0';
}

static int32_t ReadInt32(const unsigned char* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

/* Sets the Checked byte of every direct child record of the image's root
 * record; returns how many children there were. */
static int32_t MarkChildrenDone(unsigned char* root) {
  const int32_t data_size = ReadInt32(root + 4);
  const int32_t count = ReadInt32(root + 8 + data_size);
  unsigned char* child = root + 12 + data_size;
  int32_t i;
  for (i = 0; i < count; ++i) {
    child[8] = 1;
    child += 4 + ReadInt32(child); /* RestSize counts everything after itself */
  }
  return count;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  g_log = callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetTreePointer(void* image) {
  g_image = (const unsigned char*)image;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetExternalParameter(const char* parameter) {
  (void)parameter;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  g_mode = (uint8_t)mode; /* only the low byte is defined */
  return g_mode >= INSTKIT_MODE_INSTALL && g_mode <= INSTKIT_MODE_GENERATE ? INSTKIT_TRUE : INSTKIT_FALSE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetQuestionsLevel(int32_t level) {
  (void)level;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  Keep(g_path, path);
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetClientNumber(int32_t number) {
  g_client = number;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetProgressCallBack(InstkitProgressCallback callback) {
  g_progress = callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetSessionName(const char* name) {
  Keep(g_session, name);
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetHideProgressCallBack(InstkitHideProgressCallback callback) {
  (void)callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetShowProgressCallBack(InstkitShowProgressCallback callback) {
  (void)callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) { return INSTKIT_RESULT_DONE; }

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) {
  char line[3 * EXAMPLE_TEXT_SIZE];
  int32_t children = 0;
  if (g_aborted) return INSTKIT_RESULT_ABORT;
  /* The node-tree driver hands over a private copy of the image; the
   * flat-image driver the caller's own: both may be written. */
  if (g_image != NULL) children = MarkChildrenDone((unsigned char*)g_image);
  snprintf(line, sizeof line, " example subsystem: mode %d, client %ld, path \"%s\", session \"%s\", %ld children",
           g_mode, (long)g_client, g_path, g_session, (long)children);
  if (g_log != NULL) g_log(line);
  return INSTKIT_RESULT_DONE;
}

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserAbort(void) { g_aborted = 1; }
INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserSuspendThread(void) {}
INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserResumeThread(void) {}
