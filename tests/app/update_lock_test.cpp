// One update at a time: who gets the machine-wide lock. Each case uses a name
// of its own, so a real updater running on the machine changes nothing here.
#include "app/update_lock.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

// Whatever the case leaves in place (another holder, a foreign object of the
// same name) lives until the lock has been tried.
using Leftover = std::shared_ptr<void>;

Leftover keepHandle(HANDLE handle) {
    return Leftover(handle, [](void* h) {
        if (h) CloseHandle(h);
    });
}

// Another thread takes the mutex and keeps it until the case is over, as a
// copy that is still open does.
Leftover heldElsewhere(const std::string& name) {
    struct Holder {
        HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread thread;
        ~Holder() {
            SetEvent(done);
            if (thread.joinable()) thread.join();
            CloseHandle(taken);
            CloseHandle(done);
        }
    };
    auto holder = std::make_shared<Holder>();
    Holder* h = holder.get();
    h->thread = std::thread([h, name] {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
        SetEvent(h->taken);
        WaitForSingleObject(h->done, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    WaitForSingleObject(h->taken, 5000);
    return holder;
}

// A copy that took the lock and was ended without letting go: its thread is
// gone, the mutex is abandoned, and a handle keeps the mutex alive.
Leftover leftByAnEndedCopy(const std::string& name) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    std::thread([mutex] { WaitForSingleObject(mutex, 0); }).join();
    return keepHandle(mutex);
}

struct LockCase {
    const char* name;
    std::function<Leftover(const std::string&)> before;
    bool held;
};

void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }

class UpdateLockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(UpdateLockTest, FirstCopyOnly) {
    const std::string name = std::string("Local\\VeltrisLockTest.") + GetParam().name + "." +
                             std::to_string(GetCurrentProcessId());
    Leftover leftover = GetParam().before(name);
    {
        UpdateLock lock(name.c_str());
        EXPECT_EQ(GetParam().held, lock.held());
        if (lock.held()) {
            // Held for the copy's whole life: a second copy now finds it taken.
            std::thread([&] { EXPECT_FALSE(UpdateLock(name.c_str()).held()); }).join();
        }
    }
    // Once the holder is gone, the next copy gets it.
    leftover.reset();
    std::thread([&] { EXPECT_TRUE(UpdateLock(name.c_str()).held()); }).join();
}

INSTANTIATE_TEST_SUITE_P(
    Lock, UpdateLockTest,
    ::testing::Values(LockCase{"Free", [](const std::string&) { return Leftover(); }, true},
                      LockCase{"HeldByACopyStillOpen", heldElsewhere, false},
                      LockCase{"LeftBehindByAnEndedCopy", leftByAnEndedCopy, true},
                      // The name taken by another kind of object: no mutex to hold,
                      // and no way to tell that no update is running.
                      LockCase{"NameTakenByAnotherObject",
                               [](const std::string& name) {
                                   return keepHandle(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
                               },
                               false}),
    [](const ::testing::TestParamInfo<LockCase>& info) { return std::string(info.param.name); });

}  // namespace
