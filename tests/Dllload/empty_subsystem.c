/* A subsystem library that exports no entry point at all. */
typedef int instkit_test_empty_library;
