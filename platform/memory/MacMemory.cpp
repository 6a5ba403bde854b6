#include "memory/MacMemory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

namespace {

constexpr UInt64 kBlockMagic = 0x516B77426C6F636BULL;  // "QkwBlock"
constexpr UInt64 kDeadMagic = 0x646561644465616DULL;
// Larger requests are refused rather than attempted: no effect block comes
// near this, and a size computed from bad input must not exhaust memory.
constexpr Size kLargestBlock = 1 << 30;

struct BlockHeader {
  UInt64 magic;
  UInt64 size;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps the bytes after it 16-byte aligned");

OSErr lgMemError = noErr;
size_t lgLiveBlocks = 0;
int lgFailCountdown = -1;
std::atomic<SInt32 (*)(Ptr)> lgOutsideSizes{nullptr};

bool AllocationMayProceed(Size byteCount) {
  if (byteCount < 0 || byteCount > kLargestBlock) return false;
  if (lgFailCountdown < 0) return true;
  if (lgFailCountdown == 0) {
    lgFailCountdown = -1;
    return false;
  }
  --lgFailCountdown;
  return true;
}

BlockHeader* HeaderOf(Ptr p) {
  BlockHeader* header = reinterpret_cast<BlockHeader*>(p - sizeof(BlockHeader));
  if (header->magic != kBlockMagic) {
    std::fprintf(stderr, "Memory Manager: %p is not a live memory block\n", static_cast<void*>(p));
    std::abort();
  }
  return header;
}

Ptr AllocateBlock(Size byteCount, bool clear) {
  if (!AllocationMayProceed(byteCount)) {
    lgMemError = memFullErr;
    return nullptr;
  }
  size_t total = sizeof(BlockHeader) + size_t(byteCount);
  void* raw = clear ? std::calloc(1, total) : std::malloc(total);
  if (raw == nullptr) {
    lgMemError = memFullErr;
    return nullptr;
  }
  AdviseLargeBuffer(raw, total);
  BlockHeader* header = static_cast<BlockHeader*>(raw);
  header->magic = kBlockMagic;
  header->size = UInt64(byteCount);
  ++lgLiveBlocks;
  lgMemError = noErr;
  return reinterpret_cast<Ptr>(header + 1);
}

}  // namespace

void AdviseLargeBuffer(void* start, size_t bytes) {
  constexpr uintptr_t kHugePage = 2 << 20;
  if (bytes < 2 * kHugePage) return;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kHugePage - 1);
  if (from < to) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

Ptr NewPtr(Size byteCount) { return AllocateBlock(byteCount, false); }

Ptr NewPtrClear(Size byteCount) { return AllocateBlock(byteCount, true); }

void DisposePtr(Ptr p) {
  if (p == nullptr) return;
  BlockHeader* header = HeaderOf(p);
  header->magic = kDeadMagic;
  std::free(header);
  --lgLiveBlocks;
  lgMemError = noErr;
}

Size GetPtrSize(Ptr p) {
  if (p == nullptr) return 0;
  if (SInt32 (*outside)(Ptr) = lgOutsideSizes.load()) {
    const SInt32 size = outside(p);
    if (size >= 0) return size;
  }
  return Size(HeaderOf(p)->size);
}

void AskSizesOfOutsideBlocks(SInt32 (*sizeOf)(Ptr block)) { lgOutsideSizes.store(sizeOf); }

Handle NewHandle(Size byteCount) {
  Handle h = reinterpret_cast<Handle>(NewPtrClear(sizeof(Ptr)));
  if (h == nullptr) return nullptr;
  *h = NewPtr(byteCount);
  if (*h == nullptr) {
    DisposePtr(reinterpret_cast<Ptr>(h));
    lgMemError = memFullErr;
    return nullptr;
  }
  return h;
}

Handle NewHandleClear(Size byteCount) {
  Handle h = NewHandle(byteCount);
  if (h != nullptr) std::memset(*h, 0, size_t(byteCount));
  return h;
}

void DisposeHandle(Handle h) {
  if (h == nullptr) return;
  DisposePtr(*h);
  DisposePtr(reinterpret_cast<Ptr>(h));
}

Size GetHandleSize(Handle h) {
  if (h == nullptr) return 0;
  return GetPtrSize(*h);
}

void SetHandleSize(Handle h, Size newSize) {
  if (h == nullptr) {
    lgMemError = nilHandleErr;
    return;
  }
  Ptr fresh = NewPtrClear(newSize);
  if (fresh == nullptr) return;  // the handle keeps its old contents
  Size keep = GetPtrSize(*h) < newSize ? GetPtrSize(*h) : newSize;
  std::memcpy(fresh, *h, size_t(keep));
  DisposePtr(*h);
  *h = fresh;
  lgMemError = noErr;
}

OSErr MemError() { return lgMemError; }

size_t LiveMemoryBlocks() { return lgLiveBlocks; }

void SetAllocationFailureCountdown(int count) { lgFailCountdown = count; }
