#pragma once
// A method thunk turns "method n of this object" into a plain thread start
// routine, so a thread can run a member function with no global to find its
// object. On x86 it is a few bytes of machine code made at run time; elsewhere,
// or where the system refuses executable memory, a small record started by a
// fixed C++ trampoline does the same.
//
// What the method finds, whichever form runs it: the object as `this`, a
// freshly initialised floating-point state (x87 control word 0x037F, MXCSR
// 0x1F80). What the caller finds afterwards: its callee-saved registers, x87
// control word and MXCSR as they were, and the method's result as the routine's
// return value.
//
// Which method n names: a class opts in with a public static member
//
//   static constexpr auto ThunkMethods() { return MakeThunkMethodTable<&C::A, &C::B>(); }
//
// listing its methods in declaration order; n = 1 names the first. Each one
// takes no argument and returns void, an integer or a pointer (void gives 0).
#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace quill::pool {

// How pthread_create starts a thread.
using ThreadEntry = void* (*)(void*);
// What a thunk calls: the object comes in the first argument, which is where
// the calling convention puts `this`; the result goes back in the return
// register. (The 32-bit thunk hands over the address of a stack slot holding
// the object instead, the form its template was made for.)
using ThunkTarget = std::uintptr_t (*)(void* object);

#if defined(__i386__)
// The 32-bit template keeps the stack only 4-byte aligned.
#define QUILL_THUNK_TARGET __attribute__((force_align_arg_pointer))
#else
#define QUILL_THUNK_TARGET
#endif

namespace detail {

template <auto Method>
struct MethodTraits;
template <class C, class R, R (C::*Method)()>
struct MethodTraits<Method> {
  using Object = C;
  using Result = R;
};
template <class C, class R, R (C::*Method)() noexcept>
struct MethodTraits<Method> {
  using Object = C;
  using Result = R;
};

template <auto Method>
struct MethodCall {
  using Object = typename MethodTraits<Method>::Object;
  using Result = typename MethodTraits<Method>::Result;
  static_assert(std::is_void_v<Result> || std::is_integral_v<Result> || std::is_pointer_v<Result>,
                "a thunk method returns void, an integer or a pointer");

  QUILL_THUNK_TARGET static std::uintptr_t Call(void* received) noexcept {
#if defined(__i386__)
    received = *static_cast<void**>(received);
#endif
    Object* self = static_cast<Object*>(received);
    if constexpr (std::is_void_v<Result>) {
      (self->*Method)();
      return 0;
    } else if constexpr (std::is_pointer_v<Result>) {
      return reinterpret_cast<std::uintptr_t>((self->*Method)());
    } else {
      return static_cast<std::uintptr_t>((self->*Method)());
    }
  }
};

// The generated code when the processor and the system allow it, the portable
// record otherwise; 0 when memory runs out.
std::uintptr_t BuildThunk(void* object, ThunkTarget target);
// The portable form only, whatever the processor.
std::uintptr_t BuildPortableThunk(void* object, ThunkTarget target);

}  // namespace detail

template <class C, std::size_t N>
struct ThunkMethodTable {
  using Object = C;
  std::array<ThunkTarget, N> entries;
};

template <auto First, auto... Rest>
constexpr auto MakeThunkMethodTable() {
  using C = typename detail::MethodTraits<First>::Object;
  static_assert((std::is_same_v<C, typename detail::MethodTraits<Rest>::Object> && ...),
                "every method of a table belongs to the same class");
  return ThunkMethodTable<C, 1 + sizeof...(Rest)>{
      {&detail::MethodCall<First>::Call, &detail::MethodCall<Rest>::Call...}};
}

// The address of a new thunk for method n of `object`, or 0 when n names no
// method (n = 0 among them; nothing is allocated then). The object must outlive
// every thread that runs the thunk's method.
template <class T>
std::uintptr_t BuildMethodThunk(T* object, int n) {
  constexpr auto table = T::ThunkMethods();
  using Object = typename decltype(table)::Object;
  if (object == nullptr || n < 1 || static_cast<std::size_t>(n) > table.entries.size()) return 0;
  Object* self = object;
  return detail::BuildThunk(static_cast<void*>(self), table.entries[n - 1]);
}

// Frees a thunk; 0 is ignored. Threads may still be returning from the method
// when it is released: a thunk's own bytes are no longer used once the method
// has been entered.
void ReleaseMethodThunk(std::uintptr_t thunk);

// What to start a thread with: pthread_create(&id, attr, ThunkThreadEntry(t),
// ThunkThreadArgument(t)). The entry may also be called directly.
ThreadEntry ThunkThreadEntry(std::uintptr_t thunk);
void* ThunkThreadArgument(std::uintptr_t thunk);

}  // namespace quill::pool
