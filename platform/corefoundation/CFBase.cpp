#include "corefoundation/CFBase.h"

namespace {
size_t lgLiveObjects = 0;
}

CFObject::CFObject() { ++lgLiveObjects; }
CFObject::~CFObject() { --lgLiveObjects; }

CFTypeRef CFRetain(CFTypeRef cf) {
  if (cf != nullptr) ++const_cast<CFObject*>(static_cast<const CFObject*>(cf))->refCount;
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (cf == nullptr) return;
  CFObject* object = const_cast<CFObject*>(static_cast<const CFObject*>(cf));
  if (--object->refCount == 0) delete object;
}

size_t LiveCFObjects() { return lgLiveObjects; }
