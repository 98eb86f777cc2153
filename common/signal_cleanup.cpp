#include "common/signal_cleanup.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace verdigo {
namespace {

enum SlotState : int { kFree, kFilling, kInUse };

struct Slot {
  std::atomic<int> state{kFree};
  int folderFd = -1;
  char name[256] = {};
};

// A handful of saves may be under way at once; each holds one slot.
Slot gSlots[16];

}  // namespace

int RegisterFileForSignalCleanup(int folderFd, const char* name) {
  if (std::strlen(name) >= sizeof gSlots[0].name) return -1;
  for (int i = 0; i < static_cast<int>(std::size(gSlots)); ++i) {
    int expected = kFree;
    if (!gSlots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    gSlots[i].folderFd = folderFd;
    std::strcpy(gSlots[i].name, name);
    gSlots[i].state.store(kInUse);
    return i;
  }
  return -1;
}

void UnregisterFileForSignalCleanup(int slot) {
  if (slot >= 0) gSlots[slot].state.store(kFree);
}

void RemoveFilesRegisteredForSignalCleanup() {
  for (Slot& slot : gSlots) {
    if (slot.state.load() == kInUse) ::unlinkat(slot.folderFd, slot.name, 0);
  }
}

}  // namespace verdigo
