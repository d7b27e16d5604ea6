#include "pool/MethodThunk.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>
#include <cstring>
#include <mutex>
#include <new>

namespace quill::pool {
namespace {

// ---- portable form -------------------------------------------------------

// Handles of the portable form carry bit 0 set; generated code starts on a
// page boundary, so its handles never do.
constexpr std::uintptr_t kPortableTag = 1;

struct PortableThunk {
  void* object;
  ThunkTarget target;
};

void* PortableEntry(void* argument) {
  // The record may be released while the method is still returning.
  const PortableThunk thunk = *static_cast<const PortableThunk*>(argument);
  std::fenv_t callers;
  std::fegetenv(&callers);
  std::fesetenv(FE_DFL_ENV);
#if defined(__i386__)
  void* slot = thunk.object;
  const std::uintptr_t result = thunk.target(&slot);
#else
  const std::uintptr_t result = thunk.target(thunk.object);
#endif
  std::fesetenv(&callers);
  return reinterpret_cast<void*>(result);
}

// ---- generated form ------------------------------------------------------
//
// The sanitizers cannot instrument these bytes and need not: they touch only
// their own stack frame and registers, the thread is created through
// pthread_create as usual, and the method they enter is compiled code.

#if defined(__x86_64__) || defined(__i386__)
#define QUILL_GENERATED_THUNKS 1

void Put(unsigned char* at, std::uintptr_t value) { std::memcpy(at, &value, sizeof value); }

#if defined(__x86_64__)
// Entered as a SysV function void* (void*). Keeps rbx, r12-r15 and the caller's
// FPU control words in its frame, starts the target with a fresh FPU and pushes
// the shared exit as the target's return address, so nothing of the thunk
// itself runs after the target has been entered.
constexpr unsigned char kThunkTemplate[] = {
    0xF3, 0x0F, 0x1E, 0xFA,                    // 00 endbr64
    0x55,                                      // 04 push rbp
    0x48, 0x89, 0xE5,                          // 05 mov rbp, rsp
    0x53,                                      // 08 push rbx            [rbp-8]
    0x41, 0x54,                                // 09 push r12            [rbp-16]
    0x41, 0x55,                                // 0B push r13            [rbp-24]
    0x41, 0x56,                                // 0D push r14            [rbp-32]
    0x41, 0x57,                                // 0F push r15            [rbp-40]
    0x48, 0x83, 0xEC, 0x18,                    // 11 sub rsp, 24         rsp 16-aligned
    0xD9, 0x7D, 0xD0,                          // 15 fnstcw [rbp-48]
    0x0F, 0xAE, 0x5D, 0xD4,                    // 18 stmxcsr [rbp-44]
    0xDB, 0xE3,                                // 1C fninit
    0xC7, 0x45, 0xCC, 0x80, 0x1F, 0x00, 0x00,  // 1E mov dword [rbp-52], 0x1F80
    0x0F, 0xAE, 0x55, 0xCC,                    // 25 ldmxcsr [rbp-52]
    0x48, 0xBF, 0, 0, 0, 0, 0, 0, 0, 0,        // 29 mov rdi, object
    0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0,        // 33 mov rax, target
    0x49, 0xBB, 0, 0, 0, 0, 0, 0, 0, 0,        // 3D mov r11, exit
    0x41, 0x53,                                // 47 push r11
    0xFF, 0xE0,                                // 49 jmp rax
};
constexpr std::size_t kObjectField = 0x2B;
constexpr std::size_t kTargetField = 0x35;
constexpr std::size_t kExitField = 0x3F;

// The target returns here with its result in rax and rbp untouched.
constexpr unsigned char kExitCode[] = {
    0xD9, 0x6D, 0xD0,        // fldcw [rbp-48]
    0x0F, 0xAE, 0x55, 0xD4,  // ldmxcsr [rbp-44]
    0x48, 0x8B, 0x5D, 0xF8,  // mov rbx, [rbp-8]
    0x4C, 0x8B, 0x65, 0xF0,  // mov r12, [rbp-16]
    0x4C, 0x8B, 0x6D, 0xE8,  // mov r13, [rbp-24]
    0x4C, 0x8B, 0x75, 0xE0,  // mov r14, [rbp-32]
    0x4C, 0x8B, 0x7D, 0xD8,  // mov r15, [rbp-40]
    0xC9,                    // leave
    0xC3,                    // ret
};
#else
// The 32-bit thunk. A thread start routine is cdecl: the caller removes its
// own argument, so the thunk copies and drops no argument bytes (offsets 04
// and 17 hold 0 where a stdcall caller of 16 bytes would need 16).
constexpr unsigned char kThunkTemplate[] = {
    0x55,                          // 00 push ebp
    0x8B, 0xEC,                    // 01 mov ebp, esp
    0x6A, 0x00,                    // 03 push argument bytes  [ebp-4]
    0x53,                          // 05 push ebx             [ebp-8]
    0x56,                          // 06 push esi             [ebp-0Ch]
    0x57,                          // 07 push edi             [ebp-10h]
    0x6A, 0x00,                    // 08 push 0               [ebp-14h]
    0xD9, 0x3C, 0x24,              // 0A fnstcw [esp]
    0xDB, 0xE3,                    // 0D fninit
    0x68, 0, 0, 0, 0,              // 0F push object
    0x8B, 0xC4,                    // 14 mov eax, esp: this
    0xB9, 0x00, 0x00, 0x00, 0x00,  // 16 mov ecx, argument bytes
    0x2B, 0xE1,                    // 1B sub esp, ecx
    0x8D, 0x75, 0x08,              // 1D lea esi, [ebp+8]
    0x8D, 0x3C, 0x24,              // 20 lea edi, [esp]
    0xFC,                          // 23 cld
    0xF3, 0xA4,                    // 24 rep movsb
    0x8B, 0x4D, 0xF8,              // 26 mov ecx, [ebp-8]
    0x8B, 0x75, 0xF4,              // 29 mov esi, [ebp-0Ch]
    0x8B, 0x7D, 0xF0,              // 2C mov edi, [ebp-10h]
    0x50,                          // 2F push eax
    0xB8, 0, 0, 0, 0,              // 30 mov eax, target
    0x68, 0, 0, 0, 0,              // 35 push exit
    0xFF, 0xE0,                    // 3A jmp eax
};
constexpr std::size_t kObjectField = 0x10;
constexpr std::size_t kTargetField = 0x31;
constexpr std::size_t kExitField = 0x36;

constexpr unsigned char kExitCode[] = {
    0x8B, 0x4D, 0xFC,        // 00 mov ecx, [ebp-4]
    0x8B, 0x5D, 0xF8,        // 03 mov ebx, [ebp-8]
    0x8B, 0x75, 0xF4,        // 06 mov esi, [ebp-0Ch]
    0x8B, 0x7D, 0xF0,        // 09 mov edi, [ebp-10h]
    0xD9, 0x6D, 0xEC,        // 0C fldcw [ebp-14h]
    0x8B, 0xE5,              // 0F mov esp, ebp
    0x5D,                    // 11 pop ebp
    0x8D, 0x64, 0x0C, 0x04,  // 12 lea esp, [esp+ecx+4]
    0xF7, 0xD9,              // 16 neg ecx
    0x8B, 0x4C, 0x0C, 0xFC,  // 18 mov ecx, [esp+ecx-4]
    0xFF, 0xE1,              // 1C jmp ecx
};
static_assert(sizeof kThunkTemplate == 60 && sizeof kExitCode == 30);
#endif

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// Code goes into a writable mapping that becomes executable only once it is
// complete; no page is ever writable and executable at once.
std::uintptr_t MapCode(const unsigned char* code, std::size_t length) {
  const std::size_t size = PageSize();
  if (length > size) return 0;
  void* page = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) return 0;
  std::memcpy(page, code, length);
  if (mprotect(page, size, PROT_READ | PROT_EXEC) != 0) {
    munmap(page, size);
    return 0;
  }
  return reinterpret_cast<std::uintptr_t>(page);
}

// Shared by every thunk of the process and never released, so a thread may
// still be passing through it after its thunk is gone.
std::uintptr_t ThunkExit() {
  static std::once_flag once;
  static std::uintptr_t exit = 0;
  std::call_once(once, [] { exit = MapCode(kExitCode, sizeof kExitCode); });
  return exit;
}

std::uintptr_t BuildGeneratedThunk(void* object, ThunkTarget target) {
  const std::uintptr_t exit = ThunkExit();
  if (exit == 0) return 0;
  unsigned char code[sizeof kThunkTemplate];
  std::memcpy(code, kThunkTemplate, sizeof code);
  Put(code + kObjectField, reinterpret_cast<std::uintptr_t>(object));
  Put(code + kTargetField, reinterpret_cast<std::uintptr_t>(target));
  Put(code + kExitField, exit);
  return MapCode(code, sizeof code);
}
#endif

}  // namespace

namespace detail {

std::uintptr_t BuildPortableThunk(void* object, ThunkTarget target) {
  auto* thunk = new (std::nothrow) PortableThunk{object, target};
  if (thunk == nullptr) return 0;
  return reinterpret_cast<std::uintptr_t>(thunk) | kPortableTag;
}

std::uintptr_t BuildThunk(void* object, ThunkTarget target) {
#if defined(QUILL_GENERATED_THUNKS)
  // A hardened system may refuse executable mappings; the portable form still
  // gives the caller a working entry.
  if (const std::uintptr_t thunk = BuildGeneratedThunk(object, target)) return thunk;
#endif
  return BuildPortableThunk(object, target);
}

}  // namespace detail

void ReleaseMethodThunk(std::uintptr_t thunk) {
  if (thunk == 0) return;
  if (thunk & kPortableTag) {
    delete reinterpret_cast<PortableThunk*>(thunk & ~kPortableTag);
    return;
  }
#if defined(QUILL_GENERATED_THUNKS)
  munmap(reinterpret_cast<void*>(thunk), PageSize());
#endif
}

ThreadEntry ThunkThreadEntry(std::uintptr_t thunk) {
  if (thunk == 0) return nullptr;
  if (thunk & kPortableTag) return &PortableEntry;
  return reinterpret_cast<ThreadEntry>(thunk);
}

void* ThunkThreadArgument(std::uintptr_t thunk) {
  if (thunk & kPortableTag) return reinterpret_cast<void*>(thunk & ~kPortableTag);
  return nullptr;
}

}  // namespace quill::pool
