// Owners of the system objects that the window layer takes: each gives its object back in its
// destructor, on every way out, so that no exit path releases by hand.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace velmora::ui {

// A kernel handle (a file, a process) that CloseHandle closes. Both "no handle" values that
// functions return (nullptr and INVALID_HANDLE_VALUE) count as none.
class AutoCloseHandle {
 public:
  explicit AutoCloseHandle(HANDLE handle) noexcept : handle_(handle) {}
  ~AutoCloseHandle() {
    if (IsValid()) CloseHandle(handle_);
  }
  AutoCloseHandle(const AutoCloseHandle&) = delete;
  AutoCloseHandle& operator=(const AutoCloseHandle&) = delete;

  bool IsValid() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const noexcept { return handle_; }

 private:
  HANDLE handle_;
};

// Memory that a shell or COM function allocated for the caller (an item list of the folder
// browser, a path of SHGetKnownFolderPath): "the calling application is responsible for freeing
// the returned PIDL by using the Shell allocator's IMalloc::Free method" (CoTaskMemFree).
template <typename T>
class ScopedCoMem {
 public:
  explicit ScopedCoMem(T* memory) noexcept : memory_(memory) {}
  ~ScopedCoMem() { CoTaskMemFree(memory_); }  // accepts nullptr
  ScopedCoMem(const ScopedCoMem&) = delete;
  ScopedCoMem& operator=(const ScopedCoMem&) = delete;

  T* Get() const noexcept { return memory_; }
  explicit operator bool() const noexcept { return memory_ != nullptr; }

 private:
  T* memory_;
};

// COM on this thread for as long as it lives: "to close the COM library gracefully, each
// successful call to CoInitializeEx, including any that return S_FALSE, must be balanced by a
// corresponding call to CoUninitialize".
class ScopedCom {
 public:
  explicit ScopedCom(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : result_(CoInitializeEx(nullptr, model)) {}
  ~ScopedCom() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;

 private:
  HRESULT result_;
};

// An icon loaded with LoadImage (without LR_SHARED), which DestroyIcon gives back.
class ScopedIcon {
 public:
  explicit ScopedIcon(HICON icon = nullptr) noexcept : icon_(icon) {}
  ~ScopedIcon() {
    if (icon_ != nullptr) DestroyIcon(icon_);
  }
  ScopedIcon(const ScopedIcon&) = delete;
  ScopedIcon& operator=(const ScopedIcon&) = delete;
  ScopedIcon& operator=(ScopedIcon&& other) noexcept {
    ScopedIcon old(std::exchange(icon_, std::exchange(other.icon_, nullptr)));
    return *this;
  }

  HICON Get() const noexcept { return icon_; }

 private:
  HICON icon_;
};

// A WM_PAINT's drawing context: BeginPaint in the constructor, EndPaint in the destructor ("each
// call to BeginPaint must have a corresponding call to EndPaint").
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~ScopedPaint() { EndPaint(window_, &paint_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;

  HDC Get() const noexcept { return dc_; }
  const PAINTSTRUCT& Info() const noexcept { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace velmora::ui
