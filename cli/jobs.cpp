#include "cli/jobs.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

const char kJobsProblem[] = "--jobs needs a whole number from 1 to 64 after it";

int DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();  // 0: not known
  if (cores == 0) return 1;
  return cores > static_cast<unsigned>(kMaxJobs) ? kMaxJobs : static_cast<int>(cores);
}

int ParseJobs(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  int value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > kMaxJobs) return 0;
  }
  return value;
}

int SlotsFor(int jobs, int count) {
  if (jobs <= 1 || count <= 1) return 1;
  const int workers = jobs < count ? jobs : count;
  return workers * kSlotsPerJob;
}

namespace {

// What the workers and the taker share, under its lock.
struct Shared {
  const OrderedWork* work;
  int slots;
  std::mutex lock;
  std::condition_variable slot_freed;  // the taker took one: a worker may start another
  std::condition_variable item_read;   // a worker finished one: the taker may take it
  int next = 0;   // the next item a worker starts
  int taken = 0;  // items taken so far: the taker waits for item `taken`
  bool stop = false;
  std::vector<int> ready;  // by slot: the item read into it, -1 when none waits there
};

void Work(Shared* shared, int worker) {
  const OrderedWork& work = *shared->work;
  std::unique_lock<std::mutex> hold(shared->lock);
  for (;;) {
    // An item may start only when its slot's earlier item has been taken.
    shared->slot_freed.wait(hold, [shared, &work] {
      return shared->stop || shared->next >= work.count ||
             shared->next < shared->taken + shared->slots;
    });
    if (shared->stop || shared->next >= work.count) return;
    const int item = shared->next++;
    hold.unlock();
    work.read(work.context, worker, item, item % shared->slots);
    hold.lock();
    shared->ready[item % shared->slots] = item;
    shared->item_read.notify_one();
  }
}

}  // namespace

int RunOrdered(const OrderedWork& work) {
  if (work.count <= 0) return 0;
  const int workers = work.jobs < work.count ? work.jobs : work.count;
  if (workers <= 1) {
    // One worker is the calling thread itself: no thread, no lock.
    for (int item = 0; item < work.count; ++item) {
      work.read(work.context, 0, item, 0);
      if (!work.take(work.context, item, 0)) return item + 1;
    }
    return work.count;
  }
  Shared shared;
  shared.work = &work;
  shared.slots = SlotsFor(workers, work.count);
  shared.ready.assign(static_cast<size_t>(shared.slots), -1);
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(workers));
  for (int w = 0; w < workers; ++w) threads.emplace_back(Work, &shared, w);
  int taken = 0;
  for (int item = 0; item < work.count; ++item) {
    const int slot = item % shared.slots;
    {
      std::unique_lock<std::mutex> hold(shared.lock);
      shared.item_read.wait(hold, [&shared, slot, item] { return shared.ready[slot] == item; });
    }
    // The slot is the taker's alone now: no worker starts its next item before
    // `taken` moves past this one.
    const bool go_on = work.take(work.context, item, slot);
    ++taken;
    {
      std::lock_guard<std::mutex> hold(shared.lock);
      shared.ready[slot] = -1;
      shared.taken = item + 1;
    }
    if (!go_on) break;
    shared.slot_freed.notify_one();
  }
  // Workers past the last item, or stopped early, wait for a slot that will never
  // come: all of them end now.
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.stop = true;
  }
  shared.slot_freed.notify_all();
  for (std::thread& thread : threads) thread.join();
  return taken;
}
