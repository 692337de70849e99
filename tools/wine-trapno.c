/* Preloaded into Wine's 32-bit processes where they run under a user-mode emulator.

   Wine tells a page fault from every other fault by the trap number the kernel stores in a signal's context:
   only a page fault becomes an access violation, goes through the guard-page and write-watch handling, and
   is caught by the __try blocks of IsBadReadPtr, IsBadWritePtr and IsBadStringPtr. The i386 user-mode
   emulator stores -1 there, for every signal, and Wine then reports each fault as an illegal instruction
   that nothing catches. Here each fault handler Wine installs is wrapped, and a trap number of -1 is set to
   the one the kernel gives for that signal before Wine sees it. On a kernel that runs the process itself the
   number is never -1, and nothing changes.

   Built with the host's compiler for i386 with no C library headers (the machine that needs this has no
   32-bit development files), so the few records used are declared here, as the i386 kernel lays them out. */

typedef unsigned int u32;

struct siginfo_head {
  int signo, errno_, code;
  void* addr;
};

/* ucontext: flags, link, stack (3 words), then the machine context, whose 13th word is the trap number. */
enum { kTrapnoWord = 5 + 12 };

struct kernel_sigaction {
  void (*handler)(int, struct siginfo_head*, void*);
  u32 mask[32];  /* glibc's sigset_t: 1024 bits */
  int flags;
  void (*restorer)(void);
};

enum { kSigInfo = 4, kSigIll = 4, kSigTrap = 5, kSigBus = 7, kSigFpe = 8, kSigSegv = 11 };
enum { kSiKernel = 0x80, kFpeIntDiv = 1, kTrapTrace = 2 };

extern void* dlsym(void* handle, const char* name);
#define RTLD_NEXT ((void*)-1l)

typedef int sigaction_fn(int, const struct kernel_sigaction*, struct kernel_sigaction*);

static void (*wine_handlers[32])(int, struct siginfo_head*, void*);

static int trap_of(int sig, const struct siginfo_head* info) {
  switch (sig) {
    case kSigSegv: return info->code == kSiKernel ? 13 : 14; /* general protection : page fault */
    case kSigBus: return 11;                                  /* segment not present */
    case kSigIll: return 6;                                   /* invalid opcode */
    case kSigFpe: return info->code == kFpeIntDiv ? 0 : 16;   /* divide error : floating point */
    case kSigTrap: return info->code == kTrapTrace ? 1 : 3;   /* single step : breakpoint */
  }
  return -1;
}

static void with_trap_number(int sig, struct siginfo_head* info, void* context) {
  int* trapno = (int*)context + kTrapnoWord;
  if (*trapno == -1) *trapno = trap_of(sig, info);
  wine_handlers[sig](sig, info, context);
}

static int wrapped(int sig) {
  return sig == kSigSegv || sig == kSigBus || sig == kSigIll || sig == kSigFpe || sig == kSigTrap;
}

int sigaction(int sig, const struct kernel_sigaction* act, struct kernel_sigaction* old) {
  static sigaction_fn* next;
  if (!next) next = (sigaction_fn*)dlsym(RTLD_NEXT, "sigaction");
  void (*previous)(int, struct siginfo_head*, void*) = wrapped(sig) ? wine_handlers[sig] : 0;
  int result;
  /* Only real handlers: not the default action (0) nor ignoring (1). */
  if (act && wrapped(sig) && (act->flags & kSigInfo) && (unsigned long)act->handler > 1) {
    struct kernel_sigaction mine = *act;
    mine.handler = with_trap_number;
    wine_handlers[sig] = act->handler;
    result = next(sig, &mine, old);
  } else {
    result = next(sig, act, old);
  }
  if (old && old->handler == with_trap_number) old->handler = previous;
  return result;
}
