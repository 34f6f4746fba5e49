// What one installation run is asked to do: the options of TRunEngine
// (Engine/run_engine.h).  Plain values; the command line fills them from its
// arguments, an embedding host in code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Dllload/subsystem_api.h"
#include "host/base/export.h"

namespace instkit {

// The operator's selection: steps applied through the selection view in
// the order given, starting from every subsystem ticked (or none).  An empty
// request drives the whole catalogue.
struct TSelectionStep {
  bool select = true;            // tick (with subtrees, parents, dependencies) or untick
  std::vector<int32_t> numbers;  // subsystem numbers
};

struct INSTKIT_API TSelectionRequest {
  bool none = false;  // start with nothing ticked
  std::vector<TSelectionStep> steps;
  bool Empty() const { return !none && steps.empty(); }
};

struct TRunOptions {
  uint8_t mode = INSTKIT_MODE_INSTALL;  // 1 install, 2 uninstall, 3 generation

  // The installation description, as the file system spells its path.
  std::string description_file;
  // Instead of a description: uninstall a recorded product (mode 2 only),
  // with the copy of its description kept in the registry at install time
  // (library names resolved to the files then loaded) and, unless `path` is
  // given, its recorded target folder.
  std::string product;

  // The target folder handed to the libraries, as the file system spells
  // it.  Checked before anything is loaded: it must exist as a folder or be
  // creatable, and be writable.
  std::string path;
  // Install: the folder holding the archives the catalogue names
  // (Engine/run_media.h); "" for the description's folder.
  std::string media;
  // The unpacked-size limit of an archive, as a multiple of its own size
  // (it is never more than the free space either).
  uint32_t unpack_ratio = 64;
  // Folders searched for relative library names after the description's own.
  std::vector<std::string> library_paths;
  TSelectionRequest selection;

  // The registry store (host/platform/registry.h); "" for the user's default.
  // Install and uninstall record their outcome there in one transaction,
  // unless `record` is false.
  std::string registry;
  bool record = true;
  // Menu and desktop links of the subsystems done (host/platform/desktop_links.h);
  // `links_root` "" means the user's own folders.
  bool links = true;
  std::string links_root;

  // Log file: every line of the run as it comes (see Engine/run_engine.h); "" for none.
  std::string log_file;
  // Handed to the driver and the libraries; Windows-1251.
  std::string log_prefix;
  std::string session_name;
  int32_t client_number = 0;
  uint8_t questions_level = 0;

  // Drive with the flat-image driver (TDllsLoader) over an image of the
  // whole selected catalogue instead of the node-tree driver (TDllLoader).
  bool flat = false;
  // Run the libraries in a thread of this process instead of a worker
  // process (where a worker process exists; see Engine/run_engine.h).
  bool in_process = false;
  // Longest time one phase may take, in seconds; 0 for no limit.  Needs a
  // worker process: in-process runs cannot stop a library that hangs.
  int timeout_seconds = 0;
  // When another run holds the same product or target folder: wait for it
  // (true) or stop at once as busy (false).
  bool wait_for_lock = false;
  // Let the engine watch the operator's Ctrl-C (host/platform/interrupt.h)
  // while the libraries run: the first asks them to stop, the second stops
  // the worker process, the third ends this process.
  bool watch_interrupts = false;
};

}  // namespace instkit
