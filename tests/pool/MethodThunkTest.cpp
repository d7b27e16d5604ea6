#include "pool/MethodThunk.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace quill::pool {
namespace {

struct FpuControl {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
};

FpuControl CurrentFpuControl() {
  FpuControl control;
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("fnstcw %0" : "=m"(control.x87));
  control.mxcsr = _mm_getcsr();
#endif
  return control;
}

class Probe {
 public:
  explicit Probe(std::uintptr_t tag) : tag_(tag) {}

  std::uintptr_t First() {
    seenSelf_ = this;
    seenThread_ = pthread_self();
    seenFpu_ = CurrentFpuControl();
    return tag_;
  }
  std::uintptr_t Second() { return tag_ * 2; }

  static constexpr auto ThunkMethods() { return MakeThunkMethodTable<&Probe::First, &Probe::Second>(); }

  const Probe* seenSelf_ = nullptr;
  pthread_t seenThread_{};
  FpuControl seenFpu_;

 private:
  std::uintptr_t tag_;
};

std::uintptr_t StartAndJoin(std::uintptr_t thunk) {
  pthread_t thread;
  if (pthread_create(&thread, nullptr, ThunkThreadEntry(thunk), ThunkThreadArgument(thunk)) != 0) {
    ADD_FAILURE() << "thread not created";
    return 0;
  }
  void* result = nullptr;
  pthread_join(thread, &result);
  return reinterpret_cast<std::uintptr_t>(result);
}

struct Form {
  const char* name;
  std::uintptr_t (*build)(void* object, ThunkTarget target);
  bool generated;  // the entry is the thunk's own code
};
void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

const Form kForms[] = {
    {"generated", &detail::BuildThunk, true},
    {"portable", &detail::BuildPortableThunk, false},
};

class ThunkFormTest : public testing::TestWithParam<Form> {
 protected:
  std::uintptr_t Build(Probe& probe, int n) {
    const std::uintptr_t thunk = GetParam().build(&probe, Probe::ThunkMethods().entries[n - 1]);
    EXPECT_NE(thunk, 0u);
    if (GetParam().generated) {
      EXPECT_EQ(ThunkThreadArgument(thunk), nullptr) << "fell back to the portable form";
    }
    return thunk;
  }
};

TEST_P(ThunkFormTest, StartedAsThreadRunsTheMethodOnItsObject) {
  Probe probe(0x5A17);
  const std::uintptr_t first = Build(probe, 1);
  const std::uintptr_t second = Build(probe, 2);

  EXPECT_EQ(StartAndJoin(first), 0x5A17u);
  EXPECT_EQ(probe.seenSelf_, &probe);
  EXPECT_FALSE(pthread_equal(probe.seenThread_, pthread_self()));
  EXPECT_EQ(probe.seenFpu_.x87, 0x037F);
  EXPECT_EQ(probe.seenFpu_.mxcsr, 0x1F80u);
  EXPECT_EQ(StartAndJoin(second), 0x5A17u * 2);

  // Each entry uses only its own stack frame, so threads may share a thunk.
  std::vector<pthread_t> threads(6);
  for (auto& thread : threads) {
    ASSERT_EQ(pthread_create(&thread, nullptr, ThunkThreadEntry(second), ThunkThreadArgument(second)), 0);
  }
  for (auto& thread : threads) {
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(result), 0x5A17u * 2);
  }
  ReleaseMethodThunk(first);
  ReleaseMethodThunk(second);
}

INSTANTIATE_TEST_SUITE_P(Forms, ThunkFormTest, testing::ValuesIn(kForms));

TEST(MethodThunkTest, NamesNoMethodOutsideTheTable) {
  Probe probe(1);
  EXPECT_EQ(BuildMethodThunk(&probe, 0), 0u);
  EXPECT_EQ(BuildMethodThunk(&probe, -1), 0u);
  EXPECT_EQ(BuildMethodThunk(&probe, 3), 0u);
  EXPECT_EQ(BuildMethodThunk(static_cast<Probe*>(nullptr), 1), 0u);
  ReleaseMethodThunk(0);

  const std::uintptr_t thunk = BuildMethodThunk(&probe, 2);
  ASSERT_NE(thunk, 0u);
  EXPECT_EQ(StartAndJoin(thunk), 2u);
  ReleaseMethodThunk(thunk);
}

#if defined(__x86_64__)
// What the caller holds around a call: callee-saved registers and the FPU
// control words. The layout is read by the assembly below.
struct CallerState {
  std::uint64_t rbx, r12, r13, r14, r15;  // 0, 8, 16, 24, 32
  std::uint16_t x87;                      // 40
  std::uint16_t unused;
  std::uint32_t mxcsr;   // 44
  std::uint64_t result;  // 48: what the entry returned
};
static_assert(offsetof(CallerState, x87) == 40 && offsetof(CallerState, mxcsr) == 44 &&
              offsetof(CallerState, result) == 48);

// What a target found and where it may write its own control words.
struct TargetScratch {
  std::uint16_t x87Found;    // 0
  std::uint32_t mxcsrFound;  // 4
  std::uint16_t x87Set;      // 8
  std::uint32_t mxcsrSet;    // 12
};
static_assert(offsetof(TargetScratch, mxcsrFound) == 4 && offsetof(TargetScratch, x87Set) == 8 &&
              offsetof(TargetScratch, mxcsrSet) == 12);

extern "C" {
// Loads `in` into the registers, calls entry(argument), stores the registers
// and the result into `out`, and puts its own caller's state back.
void QuillCallWithState(ThreadEntry entry, void* argument, const CallerState* in, CallerState* out);
// Thunk targets that record the control words they found, then change them;
// the first also wrecks every callee-saved register but rbp, as no compiled
// function would.
std::uintptr_t QuillClobberEverything(void* scratch);
std::uintptr_t QuillClobberControlWords(void* scratch);
}

asm(R"(
  .text
  .p2align 4
  .type QuillCallWithState, @function
QuillCallWithState:
  pushq %rbp
  movq %rsp, %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  pushq %rcx
  subq $16, %rsp
  fnstcw (%rsp)
  stmxcsr 4(%rsp)
  movq %rdi, %rax
  movq %rsi, %rdi
  movq 0(%rdx), %rbx
  movq 8(%rdx), %r12
  movq 16(%rdx), %r13
  movq 24(%rdx), %r14
  movq 32(%rdx), %r15
  fldcw 40(%rdx)
  ldmxcsr 44(%rdx)
  callq *%rax
  movq 16(%rsp), %rcx
  movq %rbx, 0(%rcx)
  movq %r12, 8(%rcx)
  movq %r13, 16(%rcx)
  movq %r14, 24(%rcx)
  movq %r15, 32(%rcx)
  fnstcw 40(%rcx)
  stmxcsr 44(%rcx)
  movq %rax, 48(%rcx)
  fldcw (%rsp)
  ldmxcsr 4(%rsp)
  addq $24, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size QuillCallWithState, .-QuillCallWithState

  .p2align 4
  .type QuillClobberEverything, @function
QuillClobberEverything:
  movq $0x0BAD0BAD, %rbx
  movq %rbx, %r12
  movq %rbx, %r13
  movq %rbx, %r14
  movq %rbx, %r15
  .type QuillClobberControlWords, @function
QuillClobberControlWords:
  fnstcw 0(%rdi)
  stmxcsr 4(%rdi)
  movw $0x0C7F, 8(%rdi)
  fldcw 8(%rdi)
  movl $0xFFC0, 12(%rdi)
  ldmxcsr 12(%rdi)
  movq %rdi, %rax
  ret
  .size QuillClobberEverything, .-QuillClobberEverything
  .size QuillClobberControlWords, .-QuillClobberControlWords
)");

CallerState Sentinels() {
  CallerState state{};
  state.rbx = 0x1111222233334444;
  state.r12 = 0x5555666677778888;
  state.r13 = 0x99990000AAAABBBB;
  state.r14 = 0xCCCCDDDDEEEEFFFF;
  state.r15 = 0x0123456789ABCDEF;
  state.x87 = 0x0B7F;    // round up, 64-bit precision, all exceptions masked
  state.mxcsr = 0x5F80;   // round up, all exceptions masked
  return state;
}

void ExpectKept(const CallerState& in, const CallerState& out) {
  EXPECT_EQ(out.rbx, in.rbx);
  EXPECT_EQ(out.r12, in.r12);
  EXPECT_EQ(out.r13, in.r13);
  EXPECT_EQ(out.r14, in.r14);
  EXPECT_EQ(out.r15, in.r15);
  EXPECT_EQ(out.x87, in.x87);
  EXPECT_EQ(out.mxcsr, in.mxcsr);
}

TEST_P(ThunkFormTest, CalledDirectlyKeepsTheCallersState) {
  Probe probe(0xC0FFEE);
  const std::uintptr_t thunk = Build(probe, 1);
  const CallerState in = Sentinels();
  CallerState out{};
  QuillCallWithState(ThunkThreadEntry(thunk), ThunkThreadArgument(thunk), &in, &out);
  ExpectKept(in, out);
  EXPECT_EQ(out.result, 0xC0FFEEu);
  EXPECT_EQ(probe.seenSelf_, &probe);
  EXPECT_EQ(probe.seenFpu_.x87, 0x037F);
  EXPECT_EQ(probe.seenFpu_.mxcsr, 0x1F80u);
  ReleaseMethodThunk(thunk);
}

TEST_P(ThunkFormTest, PutsBackWhatTheTargetChanged) {
  // The compiled trampoline relies on the compiler for the general registers,
  // so only the generated code is handed a target that breaks the rules.
  const ThunkTarget target = GetParam().generated ? &QuillClobberEverything : &QuillClobberControlWords;
  TargetScratch scratch{};
  const std::uintptr_t thunk = GetParam().build(&scratch, target);
  ASSERT_NE(thunk, 0u);
  const CallerState in = Sentinels();
  CallerState out{};
  QuillCallWithState(ThunkThreadEntry(thunk), ThunkThreadArgument(thunk), &in, &out);
  ExpectKept(in, out);
  EXPECT_EQ(out.result, reinterpret_cast<std::uintptr_t>(&scratch));
  EXPECT_EQ(scratch.x87Found, 0x037F);
  EXPECT_EQ(scratch.mxcsrFound, 0x1F80u);
  ReleaseMethodThunk(thunk);
}
#endif

}  // namespace
}  // namespace quill::pool
