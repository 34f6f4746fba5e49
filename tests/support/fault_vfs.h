// A SQLite VFS that forwards to the default one and fails on request, in the
// manner of SQLite's own test VFS: the Nth write or sync (counted over every
// file: database and journal) answers an error code, and from then on every
// write and sync does too when the fault is persistent (a disk that stays
// full); write locks can be refused with SQLITE_BUSY.  Syncs are counted but
// reach no disk.  While it lives it is the default VFS.  One at a time.
#pragma once

#include <sqlite3.h>

namespace instkit::testing {

class TFaultVfs {
 public:
  int writes = 0;  // since the last Arm
  int syncs = 0;
  bool refuse_locks = false;

  TFaultVfs() : base_(sqlite3_vfs_find(nullptr)), vfs_(*base_) {
    vfs_.zName = "instkit-fault";
    vfs_.szOsFile = static_cast<int>(sizeof(TFile)) + base_->szOsFile;
    vfs_.pAppData = this;
    vfs_.xOpen = [](sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out) {
      auto* self = static_cast<TFaultVfs*>(vfs->pAppData);
      const int rc = self->base_->xOpen(self->base_, name, Real(file), flags, out);
      reinterpret_cast<TFile*>(file)->vfs = self;
      file->pMethods = Real(file)->pMethods ? &self->methods_ : nullptr;
      return rc;
    };
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~TFaultVfs() { sqlite3_vfs_unregister(&vfs_); }

  // Fails the `write_at`th write or the `sync_at`th sync from now (0: none)
  // with `rc`; with `persistent`, every later one fails too.
  void Arm(int write_at, int sync_at, int rc, bool persistent) {
    writes = syncs = 0;
    fired_ = false;
    write_at_ = write_at;
    sync_at_ = sync_at;
    rc_ = rc;
    persistent_ = persistent;
  }

 private:
  struct TFile {
    sqlite3_file base;
    TFaultVfs* vfs;
  };
  static sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<TFile*>(f) + 1);
  }
  static TFaultVfs& Self(sqlite3_file* f) { return *reinterpret_cast<TFile*>(f)->vfs; }
  template <auto Method, typename... A>
  static int Forward(sqlite3_file* f, A... a) {
    return (Real(f)->pMethods->*Method)(Real(f), a...);
  }

  int Fault(int count, int at) {
    fired_ = fired_ || (at > 0 && count == at);
    return fired_ && (persistent_ || count == at) ? rc_ : SQLITE_OK;
  }

  sqlite3_vfs* base_;
  sqlite3_vfs vfs_;
  int write_at_ = 0, sync_at_ = 0, rc_ = SQLITE_OK;
  bool persistent_ = false, fired_ = false;
  const sqlite3_io_methods methods_ = {
      1,  // no shared memory: rollback journals only
      &Forward<&sqlite3_io_methods::xClose>,
      &Forward<&sqlite3_io_methods::xRead, void*, int, sqlite3_int64>,
      [](sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
        const int rc = Self(f).Fault(++Self(f).writes, Self(f).write_at_);
        return rc != SQLITE_OK ? rc : Forward<&sqlite3_io_methods::xWrite>(f, p, n, at);
      },
      &Forward<&sqlite3_io_methods::xTruncate, sqlite3_int64>,
      [](sqlite3_file* f, int) { return Self(f).Fault(++Self(f).syncs, Self(f).sync_at_); },
      &Forward<&sqlite3_io_methods::xFileSize, sqlite3_int64*>,
      [](sqlite3_file* f, int level) {
        return Self(f).refuse_locks && level > SQLITE_LOCK_SHARED ? SQLITE_BUSY
                                                                  : Forward<&sqlite3_io_methods::xLock>(f, level);
      },
      &Forward<&sqlite3_io_methods::xUnlock, int>,
      &Forward<&sqlite3_io_methods::xCheckReservedLock, int*>,
      &Forward<&sqlite3_io_methods::xFileControl, int, void*>,
      &Forward<&sqlite3_io_methods::xSectorSize>,
      &Forward<&sqlite3_io_methods::xDeviceCharacteristics>,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr};
};

}  // namespace instkit::testing
