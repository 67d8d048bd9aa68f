// One update at a time on a machine.
#pragma once

#include "framework/handles.h"

// Two copies of the updater that both pressed "Actualizar" would overwrite
// each other's backups, and a restore could put back the other run's file.
// The first copy holds this machine-wide mutex for its whole life; a copy
// that cannot take it must not go on.
extern const char kUpdateLockName[];

// The text a second copy shows before it ends.
extern const char kUpdateAlreadyOpenMessage[];

class UpdateLock {
public:
    explicit UpdateLock(const char* name = kUpdateLockName);
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

    // True when this copy holds the lock. A mutex left behind by a copy that
    // was ended without letting go counts as free.
    bool held() const { return held_; }

private:
    fw::KernelHandle mutex_;
    bool held_ = false;
};
