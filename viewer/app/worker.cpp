// The WorkerThread's loop and the hand-shake that starts and stops its jobs.
#include "viewer/app/worker.h"

#include "platform/emulator.h"
#include "viewer/app/device.h"
#include "viewer/app/jobs.h"
#include "viewer/app/state.h"
#include "viewer/print/print.h"

namespace zelmo {

using namespace ce;

bool StartWorker() {
  gShared.workerRunning = true;
  gApp.workerHandle = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, &gApp.workerId);
  if (!gApp.workerHandle) {
    gShared.workerRunning = false;
    gApp.workerId = 0;
    return false;
  }
  return true;
}

DWORD WorkerThread(void*) {
  if (gDevice.index != -1)
    gDevice.frameBuffer = ComputeFrameBuffer(gDevice.index, gApp.displayDepth, gApp.screenHeight);
  gShared.thumbnailJob = 0;
  MSG msg;
  bool running = true;
  // The worker gets thread messages only; GetMessage ends the loop only if
  // the platform itself goes away.
  while (running && GetMessage(&msg, nullptr, 0, 0)) {
    switch (msg.message) {
      case kJobExit: running = false; break;
      case kJobPrint:
        ++gShared.jobsTaken;
        EnableWindow(gApp.mainWindow, FALSE);
        gShared.abortFlag = 0;
        PrintJob();
        EnableWindow(gApp.mainWindow, TRUE);
        break;
      case kJobThumbnails:
        ++gShared.jobsTaken;
        gShared.abortFlag = 0;
        gShared.thumbnailJob = 1;
        BuildThumbnails();
        gShared.thumbnailJob = 0;
        break;
      case kJobVideo:
        ++gShared.jobsTaken;
        PlayVideoJob();
        break;
      case kJobSlideShow:
        ++gShared.jobsTaken;
        // Lets the slide window come to the front first.
        Sleep(50);
        SlideShowJob();
        break;
      default: break;
    }
  }
  gShared.workerRunning = false;
  return 0;
}

void StartJob(UINT job) {
  gShared.abortFlag = 1;
  PostThreadMessage(gApp.workerId, job, 0, 0);
}

bool StopWorker(DWORD timeoutMs) {
  if (!gApp.workerHandle) return true;
  StartJob(kJobExit);
  // A job may be inside a call on one of this thread's windows as the exit
  // arrives: serve it, or both threads wait out the time.
  HANDLE worker = gApp.workerHandle;
  bool ended = WaitServingSent([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; },
                               timeoutMs);
  CloseHandle(gApp.workerHandle);
  gApp.workerHandle = nullptr;
  gApp.workerId = 0;
  return ended;
}

}  // namespace zelmo
