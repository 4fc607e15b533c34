/* Processor faults as a Windows program sees them: each case runs in a child process of its own
   (this program with the case's name) whose unhandled-exception filter compares what Windows
   reports with what the processor would raise, then ends the process. Where 32-bit programs run
   under CPU emulation, this is what tells that Wine still learns the true fault from the emulator. */
#include <windows.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>

#define ANY ((ULONG_PTR)-1)

typedef struct {
    const char* name;
    void (*run)(void);
    DWORD code;       /* the exception expected, or 0: the case ends normally */
    ULONG_PTR access; /* access violations: 0 read, 1 write, 8 execute; ANY otherwise */
} Case;

static void WriteNull(void) { *(volatile int*)0 = 1; }
static void ReadNull(void) { (void)*(volatile int*)0; }
static void ExecuteData(void) {
    unsigned char* page = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    page[0] = 0xC3; /* ret */
    ((void (*)(void))page)();
}
static void Breakpoint(void) { __debugbreak(); }
static void Divide(void) {
    volatile int numerator = 1, denominator = 0;
    numerator /= denominator;
}
static void Illegal(void) { __asm__ volatile("ud2"); }
static void Privileged(void) { __asm__ volatile("hlt"); }

/* Touches every page of 1 MiB of stack from the top down, past what Windows commits at start: each
   step lands on the guard page and the stack grows. */
static int __attribute__((noinline)) ProbeStack(void) {
    volatile char* block = alloca(1 << 20);
    for (int offset = (1 << 20) - 1; offset >= 0; offset -= 4096) block[offset] = 1;
    return block[0];
}
static void StackProbe(void) { (void)ProbeStack(); }
static int __attribute__((noinline)) Recurse(volatile char* previous) {
    volatile char frame[4096];
    frame[0] = previous ? previous[0] : 0;
    return Recurse(frame) + frame[4095];
}
static void Overflow(void) { (void)Recurse(NULL); }

static const Case kCases[] = {
    {"write-null", WriteNull, EXCEPTION_ACCESS_VIOLATION, 1},
    {"read-null", ReadNull, EXCEPTION_ACCESS_VIOLATION, 0},
    {"execute-data", ExecuteData, EXCEPTION_ACCESS_VIOLATION, 8},
    {"breakpoint", Breakpoint, EXCEPTION_BREAKPOINT, ANY},
    {"divide", Divide, EXCEPTION_INT_DIVIDE_BY_ZERO, ANY},
    {"illegal", Illegal, EXCEPTION_ILLEGAL_INSTRUCTION, ANY},
    {"privileged", Privileged, EXCEPTION_PRIV_INSTRUCTION, ANY},
    {"stack-probe", StackProbe, 0, ANY},
    {"stack-overflow", Overflow, EXCEPTION_STACK_OVERFLOW, ANY},
};

static const Case* current;

/* Exit code 0: the fault was the one expected; otherwise the code Windows reported. */
static LONG WINAPI Judge(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    const ULONG_PTR access = record->NumberParameters > 0 ? record->ExceptionInformation[0] : ANY;
    const int matches = record->ExceptionCode == current->code && (current->access == ANY || access == current->access);
    if (!matches)
        fprintf(stderr, "%s: exception 0x%08lX, access %ld\n", current->name, (unsigned long)record->ExceptionCode,
                (long)access);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), matches ? 0 : record->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

static int RunCase(const Case* c) {
    current = c;
    SetUnhandledExceptionFilter(Judge);
    c->run();
    if (c->code == 0) return 0;
    fprintf(stderr, "%s: no exception\n", c->name);
    return 1;
}

int main(int argc, char** argv) {
    const size_t count = sizeof kCases / sizeof kCases[0];
    if (argc == 2) {
        for (size_t i = 0; i < count; ++i)
            if (strcmp(argv[1], kCases[i].name) == 0) return RunCase(&kCases[i]);
        return 2;
    }
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    int failed = 0;
    for (size_t i = 0; i < count; ++i) {
        char commandLine[2 * MAX_PATH];
        snprintf(commandLine, sizeof commandLine, "\"%s\" %s", self, kCases[i].name);
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION process;
        DWORD exitCode = 0xFFFFFFFF;
        if (CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
            if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 0xFFFFFFFE);
            GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        printf("%-15s %s (exit code 0x%08lX)\n", kCases[i].name, exitCode == 0 ? "ok" : "FAILED", (unsigned long)exitCode);
        failed += exitCode != 0;
    }
    printf("%u cases, %d failed\n", (unsigned)count, failed);
    return failed;
}
