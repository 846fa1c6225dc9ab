// The main queue: the one place where the program's logic runs.
//
// A serial queue serviced by the main thread for the whole life of the process,
// with delayed posts for timers and one background worker for the blocking read
// of standard input. Serial execution is what keeps the recognition state safe
// without locks: every read and write of it, except the audio tap's use of the
// request, is work on this queue.
//
// Threading: postToMainQueue may be called from any thread; everything else is
// called on the main thread (runMainLoop by main, the rest from work on the
// queue), except readStandardInput, which the background worker calls.
//
// Failure: none of these operations fails towards its caller. A backend that
// cannot keep its promise (a thread that cannot be started) ends the process.

#ifndef VOXLINE_PLATFORM_MAIN_QUEUE_H_
#define VOXLINE_PLATFORM_MAIN_QUEUE_H_

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace voxline::platform {

// Runs the work later on the main thread, one item at a time, in the order
// posted. Takes ownership of the work.
void postToMainQueue(std::function<void()> work);

// Posts the work once the delay has passed on a monotonic clock: it runs no
// earlier than now + seconds. Never cancelled. Timers that fall due together
// run in deadline order, and in the order posted for equal deadlines.
void postToMainQueueAfter(double seconds, std::function<void()> work);

// Runs the work at once on another thread of default priority. The work may
// block for as long as it likes; nobody joins it.
void runOnBackgroundWorker(std::function<void()> work);

// Reads at most capacity bytes of standard input into buffer, waiting until
// some are there. Returns the count, 0 at the end of input, or -1 when reading
// fails. A backend may also report the end of input once nobody reads
// standard output any more. Called by the background worker only.
ssize_t readStandardInput(char* buffer, size_t capacity);

// Services posts and timers on the main thread until the process exits.
void runMainLoop();

// Flushes standard output and ends the process with the status, whatever other
// work is pending or running on any thread. Runs no static destructors, so no
// thread of the process can race them.
[[noreturn]] void exitProcess(int status);

}  // namespace voxline::platform

#endif  // VOXLINE_PLATFORM_MAIN_QUEUE_H_
