// The main queue on Linux: a deque of work and a deadline-ordered set of
// timers on the steady clock, serviced by the main thread.

#include "platform/main_queue.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace voxline::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct Queue {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> ready;
  // A multimap keeps equal deadlines in the order they were posted.
  std::multimap<Clock::time_point, std::function<void()>> timers;
};

// Never destroyed: other threads may post until the very end of the process.
Queue& queue = *new Queue;

}  // namespace

void postToMainQueue(std::function<void()> work) {
  {
    std::lock_guard lock(queue.mutex);
    queue.ready.push_back(std::move(work));
  }
  queue.wake.notify_one();
}

void postToMainQueueAfter(double seconds, std::function<void()> work) {
  auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds));
  {
    std::lock_guard lock(queue.mutex);
    queue.timers.emplace(deadline, std::move(work));
  }
  queue.wake.notify_one();
}

void runOnBackgroundWorker(std::function<void()> work) {
  std::thread(std::move(work)).detach();
}

ssize_t readStandardInput(char* buffer, size_t capacity) {
  // Waits on standard output too: a host that closed its end of the event
  // stream can no longer hear anything, and the recognition must not go on
  // holding the microphone until the listening limit on its behalf.
  pollfd streams[2] = {{STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
  for (;;) {
    if (poll(streams, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (streams[1].revents & (POLLERR | POLLHUP)) return 0;
    if (streams[0].revents != 0) break;
  }
  ssize_t count;
  do {
    count = read(STDIN_FILENO, buffer, capacity);
  } while (count < 0 && errno == EINTR);
  return count;
}

void runMainLoop() {
  std::unique_lock lock(queue.mutex);
  for (;;) {
    Clock::time_point now = Clock::now();
    while (!queue.timers.empty() && queue.timers.begin()->first <= now) {
      queue.ready.push_back(std::move(queue.timers.begin()->second));
      queue.timers.erase(queue.timers.begin());
    }
    if (!queue.ready.empty()) {
      std::function<void()> work = std::move(queue.ready.front());
      queue.ready.pop_front();
      lock.unlock();
      work();
      lock.lock();
    } else if (!queue.timers.empty()) {
      queue.wake.wait_until(lock, queue.timers.begin()->first);
    } else {
      queue.wake.wait(lock);
    }
  }
}

void exitProcess(int status) {
  std::fflush(stdout);
  // _exit rather than exit: the audio, decoder and reader threads are still
  // running, and static destructors must not pull anything from under them.
  _exit(status);
}

}  // namespace voxline::platform
