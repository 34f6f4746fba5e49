/* A subsystem library that exports no entry point at all.  It includes the
 * contract header to prove that the header is plain C. */
#include "Dllload/subsystem_api.h"

typedef InstkitPerformProc instkit_test_unused_perform;
