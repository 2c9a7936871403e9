#include "platform/interrupt.h"

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

void (*stopCallback)() = nullptr;
void (*interruptCallback)() = nullptr;
struct sigaction previousInterrupt {};
bool caught = false;
volatile std::sig_atomic_t endAtOnce = 0;

void say(const char* text) {
    if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) return;
}

// The box SDL shows runs in a child process of this thread; it would stay
// on the screen after us. Only what a signal handler may call is used here.
void endBoxProcesses() {
    char path[64] = "/proc/self/task/";
    char number[24];
    int length = 0;
    for (long pid = long(::getpid()); pid > 0 || length == 0; pid /= 10) number[length++] = char('0' + pid % 10);
    char* end = path + std::strlen(path);
    while (length > 0) *end++ = number[--length];
    std::strcpy(end, "/children");
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char list[256];
    const ssize_t got = ::read(fd, list, sizeof list - 1);
    ::close(fd);
    long child = 0;
    for (ssize_t i = 0; i < got; ++i) {
        if (list[i] >= '0' && list[i] <= '9') {
            child = child * 10 + (list[i] - '0');
        } else if (child > 0) {
            ::kill(pid_t(child), SIGKILL);
            child = 0;
        }
    }
}

void onStopSignal(int signal) {
    if (endAtOnce) {
        endBoxProcesses();
        ::_exit(128 + signal);
    }
    if (stopCallback) stopCallback();
}

void onInterruptSignal(int signal) {
    if (endAtOnce) onStopSignal(signal);
    if (interruptCallback) interruptCallback();
}

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

bool catchSignal(int signal, void (*handler)(int), struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = handler;
    // One handler at a time, so that requests are seen in the order they
    // arrived; a second one pending with the first waits for it.
    sigemptyset(&action.sa_mask);
    for (int stop : stopSignals) sigaddset(&action.sa_mask, stop);
    action.sa_flags = SA_RESTART;
    return sigaction(signal, &action, previous) == 0;
}

}  // namespace

namespace platform {

void catchStopSignals(void (*onStop)()) {
    stopCallback = onStop;
    // A closed terminal (SIGHUP) and SIGQUIT are requests to stop as well:
    // by default they would end a render with its file cut off.
    for (int signal : stopSignals) catchSignal(signal, onStopSignal, nullptr);
}

bool catchInterrupt(void (*onInterrupt)()) {
    interruptCallback = onInterrupt;
    caught = catchSignal(SIGINT, onInterruptSignal, &previousInterrupt);
    return caught;
}

void releaseInterrupt() {
    if (caught) sigaction(SIGINT, &previousInterrupt, nullptr);
    caught = false;
}

void abandonProcess(const char* fileToRemove) {
    if (fileToRemove && fileToRemove[0] && ::unlink(fileToRemove) == 0) {
        say("\nAbandoned: the unfinished file was removed.\n");
    } else {
        say("\nAbandoned.\n");
    }
    ::_exit(130);
}

void stopRequestsEndAtOnce(bool atOnce) { endAtOnce = atOnce ? 1 : 0; }

}  // namespace platform
