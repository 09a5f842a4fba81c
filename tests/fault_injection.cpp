// The test programs' side of the seam's fault hooks: a short list of faults to
// inject and the paths of the files open at the moment, to match calls on a file
// to the path it was opened under.
#include "tests/fault_injection.h"

#include <mutex>
#include <vector>

namespace {

struct Fault {
  PlatformCall call;
  int count;
  std::string path;  // empty: any path
};

struct Action {
  PlatformCall call;
  std::string path;
  std::function<void()> run;
};

struct OpenFile {
  PlatformFile* file;
  std::string path;
};

// The watch tests run the watcher on a thread of its own.
std::mutex Lock;
std::vector<Fault> Faults;
std::vector<Action> Actions;
std::vector<OpenFile> OpenFiles;

// Both separators are one to the watcher: a folder given as "/srv/x" is joined
// with a backslash to what lies below it, where a test may have written a slash.
bool SamePath(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const bool separators = (a[i] == '/' || a[i] == '\\') && (b[i] == '/' || b[i] == '\\');
    if (a[i] != b[i] && !separators) return false;
  }
  return true;
}

std::string PathOf(PlatformFile* file) {
  for (const OpenFile& open : OpenFiles) {
    if (open.file == file) return open.path;
  }
  return "";
}

}  // namespace

void InjectFault(PlatformCall call, int count, const std::string& path) {
  std::lock_guard<std::mutex> hold(Lock);
  if (count > 0) Faults.push_back(Fault{call, count, path});
}

void InjectFaults(const SeamFaults& faults) {
  InjectFault(kPlatformCallOpenRead, faults.open_read);
  InjectFault(kPlatformCallRead, faults.short_read);
  InjectFault(kPlatformCallWrite, faults.write);
  InjectFault(kPlatformCallClose, faults.close);
}

void DuringCall(PlatformCall call, const std::string& path, std::function<void()> action) {
  std::lock_guard<std::mutex> hold(Lock);
  Actions.push_back(Action{call, path, std::move(action)});
}

void ClearFaults() {
  std::lock_guard<std::mutex> hold(Lock);
  Faults.clear();
  Actions.clear();
}

void PlatformFaultOpened(PlatformFile* file, const char* path) {
  std::lock_guard<std::mutex> hold(Lock);
  OpenFiles.push_back(OpenFile{file, path});
}

int PlatformFaultInjected(PlatformCall call, const char* path, PlatformFile* file) {
  std::unique_lock<std::mutex> hold(Lock);
  const std::string subject = path != nullptr ? std::string(path) : PathOf(file);
  for (size_t i = 0; i < Actions.size(); ++i) {
    if (Actions[i].call != call || !SamePath(Actions[i].path, subject)) continue;
    std::function<void()> run = std::move(Actions[i].run);
    Actions.erase(Actions.begin() + static_cast<long>(i));
    // The action may touch files itself; let it run without the lock.
    hold.unlock();
    run();
    hold.lock();
    break;
  }
  if (call == kPlatformCallClose) {
    // The handle may be reused by the next open.
    for (size_t i = 0; i < OpenFiles.size(); ++i) {
      if (OpenFiles[i].file == file) {
        OpenFiles.erase(OpenFiles.begin() + static_cast<long>(i));
        break;
      }
    }
  }
  for (size_t i = 0; i < Faults.size(); ++i) {
    Fault& fault = Faults[i];
    if (fault.call != call || (!fault.path.empty() && !SamePath(fault.path, subject))) continue;
    if (--fault.count == 0) Faults.erase(Faults.begin() + static_cast<long>(i));
    return 1;
  }
  return 0;
}
