#include "host/base/exception.h"

#include <new>

namespace instkit {

CaughtFailure DescribeCurrentException() {
  try {
    throw;
  } catch (const Exception& e) {
    return {e.ClassName(), e.Message()};
  } catch (const std::bad_alloc&) {
    return {"EOutOfMemory", "Out of memory"};
  } catch (const std::exception& e) {
    return {"Exception", e.what()};
  } catch (...) {
    return {"Exception", "unknown failure"};
  }
}

}  // namespace instkit
