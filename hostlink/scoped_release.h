// scoped_release.h — ScopedRelease: drops one reference of a reference-counted
// object (a dispatch object, an IStream, ...) when the scope ends, also when an
// engine exception passes, unless dismissed first.
#pragma once

#include "hostlink.h"

template <class T>
class ScopedRelease {
 public:
  explicit ScopedRelease(T *object) : Object(object) {}  // takes over one reference; may be null
  ScopedRelease(const ScopedRelease &) = delete;
  ScopedRelease &operator=(const ScopedRelease &) = delete;
  // An engine error from the Release cannot leave a destructor; it is kept
  // for V2Unlink to pass on (see KeepEngineErrorFromDestructor).
  ~ScopedRelease() {
    if (!Object) return;
    try {
      Object->Release();
    } catch (...) {
      KeepEngineErrorFromDestructor();
    }
  }

  T *Get() const { return Object; }
  // Gives the reference back to the caller: nothing is released.
  void Dismiss() { Object = nullptr; }
  // Releases the reference now instead of at the end of the scope.
  void ReleaseNow() {
    T *object = Object;
    Object = nullptr;
    if (object) object->Release();
  }

 private:
  T *Object;
};
