#include "app/update_lock.h"

// "Global\": one lock for every session of a terminal server, not one each.
const char kUpdateLockName[] = "Global\\Veltris5.Actualizacao";

const char kUpdateAlreadyOpenMessage[] =
    "Já está aberta neste computador uma actualização do VELTRIS5.\n\n"
    "Conclua ou feche essa actualização antes de iniciar outra.";

UpdateLock::UpdateLock(const char* name) : mutex_(CreateMutexA(nullptr, FALSE, name)) {
    // No mutex at all (another user's copy holds it and its access list
    // keeps us out, or the name is taken by something else): not ours, and
    // the safe reading is that another update may be running.
    if (!mutex_) return;
    const DWORD waited = WaitForSingleObject(mutex_.get(), 0);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

UpdateLock::~UpdateLock() {
    if (held_) ReleaseMutex(mutex_.get());
}
