// The WorkerThread: the one thread beside the user-interface thread.  It
// takes job messages from its queue one at a time, in posting order, and
// runs each job to its end or until AbortFlag asks it to stop.
#pragma once

#include "platform/ce.h"

namespace zelmo {

// Job messages (thread messages, both parameters 0).
constexpr ce::UINT kJobExit = 40004;
constexpr ce::UINT kJobPrint = 40013;
constexpr ce::UINT kJobThumbnails = 40045;
constexpr ce::UINT kJobVideo = 40069;
constexpr ce::UINT kJobSlideShow = 40071;

// Creates the thread; false when it cannot be had.
bool StartWorker();
// The thread's entry.
ce::DWORD WorkerThread(void* unused);
// How every job is started from the user-interface thread: AbortFlag := 1
// (a running job stops), then the message.
void StartJob(ce::UINT job);
// Tells the worker to end (AbortFlag := 1, exit message) and waits for it,
// at most `timeoutMs`; true when it has ended.
bool StopWorker(ce::DWORD timeoutMs);

}  // namespace zelmo
