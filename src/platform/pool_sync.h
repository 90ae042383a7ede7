// SPDX-License-Identifier: MIT
// What the pool needs of each system: threads, and a lock with one
// condition to wait on (os_posix.cpp, os_win.cpp). Inside the OS layer only.
#pragma once

struct PoolSync;
PoolSync* poolSyncNew();  // null when none can be made
void poolSyncFree(PoolSync* sync);
void poolLock(PoolSync* sync);
void poolUnlock(PoolSync* sync);
void poolWait(PoolSync* sync);  // with the lock held; returns with it held
void poolWakeAll(PoolSync* sync);

struct PoolThread;
PoolThread* poolThreadStart(void (*run)(void* argument), void* argument);  // null when it cannot start
void poolThreadJoin(PoolThread* thread);
