/* Preloaded into 32-bit Linux processes that run under qemu-user: fills in the trap number that
 * qemu leaves at -1 in the signal context, so that Wine's fault handlers tell an access violation
 * (trap 14) from an illegal instruction, as they do on a processor that runs 32-bit code itself.
 * The 64-bit library of the same name (built from this file with -DVELQUIST_TRAPNO_NONE) does
 * nothing, so that one LD_PRELOAD serves both kinds of process. */
#ifndef VELQUIST_TRAPNO_NONE
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

typedef void (*Handler)(int, siginfo_t*, void*);
typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);

/* The handler each mended signal's owner installed; ours runs in its place and calls it. */
static volatile Handler installed[NSIG];

static int Mended(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGTRAP || sig == SIGFPE;
}

/* The trap number the kernel would have given: the processor's exception vector. */
static int TrapFor(int sig, const siginfo_t* info) {
    switch (sig) {
    case SIGSEGV: return info->si_code == SI_KERNEL ? 13 : 14; /* general protection : page fault */
    case SIGBUS: return info->si_code == BUS_ADRALN ? 17 : 14; /* alignment check : page fault */
    case SIGILL: return 6;                                      /* invalid opcode */
    case SIGTRAP: return info->si_code == SI_KERNEL ? 3 : 1;    /* int3 : debug (single step) */
    case SIGFPE:
        if (info->si_code == FPE_INTDIV) return 0;              /* divide error */
        if (info->si_code == FPE_INTOVF) return 4;              /* overflow */
        return 16;                                              /* x87 floating point */
    default: return -1;
    }
}

static void Dispatch(int sig, siginfo_t* info, void* context) {
    ucontext_t* uc = context;
    if (uc != NULL && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = TrapFor(sig, info);
    Handler handler = installed[sig];
    if (handler != NULL) handler(sig, info, context);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static SigactionFn real;
    if (real == NULL) real = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    if (real == NULL) return -1;
    if (sig <= 0 || sig >= NSIG || !Mended(sig)) return real(sig, act, old);

    const Handler previous = installed[sig];
    struct sigaction mine;
    const struct sigaction* use = act;
    if (act != NULL) {
        if (act->sa_flags & SA_SIGINFO) {
            installed[sig] = act->sa_sigaction; /* before Dispatch can run */
            mine = *act;
            mine.sa_sigaction = Dispatch;
            use = &mine;
        }
    }
    const int result = real(sig, use, old);
    if (result != 0) {
        installed[sig] = previous;
        return result;
    }
    /* The caller sees the handler it installed, never ours. */
    if (old != NULL && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == Dispatch)
        old->sa_sigaction = previous;
    if (act != NULL && !(act->sa_flags & SA_SIGINFO)) installed[sig] = NULL;
    return result;
}
#else
/* Nothing: a 64-bit process runs on the processor itself. */
typedef int VelquistTrapnoNone;
#endif
