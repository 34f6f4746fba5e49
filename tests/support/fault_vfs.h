// A SQLite VFS that forwards to the default one and fails on request, in the
// manner of SQLite's own test VFS: the Nth write or sync (counted over every
// file: database and journal) answers an error code, and from then on every
// write and sync does too when the fault is persistent (a disk that stays
// full); locks can be refused with SQLITE_BUSY.  While a TFaultVfs lives it
// is the default VFS, so every connection opened meanwhile goes through it.
// Syncs reach no disk.  One at a time.
#pragma once

#include <sqlite3.h>

#include <cstring>

namespace instkit::testing {

class TFaultVfs {
 public:
  int writes = 0;  // xWrite calls seen since the last Arm
  int syncs = 0;
  bool fired = false;

  TFaultVfs() {
    base_ = sqlite3_vfs_find(nullptr);
    vfs_ = *base_;
    vfs_.zName = "instkit-fault";
    vfs_.szOsFile = static_cast<int>(sizeof(TFile)) + base_->szOsFile;
    vfs_.xOpen = &Open;
    vfs_.pAppData = this;
    methods_.iVersion = 1;  // no shared memory: rollback journals only
    methods_.xClose = [](sqlite3_file* f) {
      const int rc = Real(f)->pMethods ? Real(f)->pMethods->xClose(Real(f)) : SQLITE_OK;
      return rc;
    };
    methods_.xRead = [](sqlite3_file* f, void* p, int n, sqlite3_int64 o) { return Real(f)->pMethods->xRead(Real(f), p, n, o); };
    methods_.xWrite = [](sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
      TFaultVfs& vfs = *Self(f);
      if (const int rc = vfs.Fault(++vfs.writes, vfs.write_at_); rc != SQLITE_OK) return rc;
      return Real(f)->pMethods->xWrite(Real(f), p, n, o);
    };
    methods_.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) { return Real(f)->pMethods->xTruncate(Real(f), n); };
    // Syncs are counted and failed but not done: the tests need the order
    // of the steps, not the disk's durability, and run faster without.
    methods_.xSync = [](sqlite3_file* f, int) {
      TFaultVfs& vfs = *Self(f);
      return vfs.Fault(++vfs.syncs, vfs.sync_at_);
    };
    methods_.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) { return Real(f)->pMethods->xFileSize(Real(f), n); };
    methods_.xLock = [](sqlite3_file* f, int level) {
      if (Self(f)->refuse_locks_ && level > SQLITE_LOCK_SHARED) return SQLITE_BUSY;
      return Real(f)->pMethods->xLock(Real(f), level);
    };
    methods_.xUnlock = [](sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); };
    methods_.xCheckReservedLock = [](sqlite3_file* f, int* out) {
      return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
    };
    methods_.xFileControl = [](sqlite3_file* f, int op, void* arg) {
      return Real(f)->pMethods->xFileControl(Real(f), op, arg);
    };
    methods_.xSectorSize = [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); };
    methods_.xDeviceCharacteristics = [](sqlite3_file* f) {
      return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
    };
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~TFaultVfs() { sqlite3_vfs_unregister(&vfs_); }
  TFaultVfs(const TFaultVfs&) = delete;
  TFaultVfs& operator=(const TFaultVfs&) = delete;

  // Fails the `write_at`th write or the `sync_at`th sync from now (0: none)
  // with `rc`; with `persistent`, every later write and sync fails too.
  void Arm(int write_at, int sync_at, int rc, bool persistent) {
    writes = syncs = 0;
    fired = false;
    write_at_ = write_at;
    sync_at_ = sync_at;
    rc_ = rc;
    persistent_ = persistent;
  }
  void Disarm() { Arm(0, 0, SQLITE_OK, false); }
  // Every lock above SHARED answers SQLITE_BUSY (another writer holds it).
  void RefuseWriteLocks(bool refuse) { refuse_locks_ = refuse; }

 private:
  struct TFile {
    sqlite3_file base;
    TFaultVfs* vfs;
  };
  static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<sqlite3_file*>(reinterpret_cast<TFile*>(f) + 1); }
  static TFaultVfs* Self(sqlite3_file* f) { return reinterpret_cast<TFile*>(f)->vfs; }

  int Fault(int count, int at) {
    if ((at > 0 && count == at) || (fired && persistent_)) {
      fired = true;
      return rc_;
    }
    return SQLITE_OK;
  }

  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out_flags) {
    auto* self = static_cast<TFaultVfs*>(vfs->pAppData);
    auto* wrapper = reinterpret_cast<TFile*>(file);
    std::memset(wrapper, 0, sizeof(TFile));
    const int rc = self->base_->xOpen(self->base_, name, Real(file), flags, out_flags);
    wrapper->vfs = self;
    wrapper->base.pMethods = Real(file)->pMethods ? &self->methods_ : nullptr;
    return rc;
  }

  sqlite3_vfs* base_;
  sqlite3_vfs vfs_;
  sqlite3_io_methods methods_{};
  int write_at_ = 0;
  int sync_at_ = 0;
  int rc_ = SQLITE_OK;
  bool persistent_ = false;
  bool refuse_locks_ = false;
};

}  // namespace instkit::testing
