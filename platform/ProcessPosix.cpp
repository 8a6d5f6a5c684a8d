// POSIX implementation of the process services: exec for companion programs, xdg-open for the
// browser, a signal flag for Ctrl+C.
#include <qarvex/platform/Process.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qarvex {

namespace platform {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void noteInterrupt(int) {
    interrupted = 1;
}

} // namespace

int runProgramBeside(const char *program, char *const *argv, std::string &reason) {
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        reason = std::string("cannot tell where this program lies: ") + std::strerror(errno);
        return -1;
    }
    std::string path(self, size_t(length));
    path = path.substr(0, path.rfind('/') + 1) + program;
    std::vector<char *> arguments{const_cast<char *>(path.c_str())};
    for (char *const *argument = argv + 1; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    ::execv(path.c_str(), arguments.data());
    reason = path + ": " + std::strerror(errno);
    return -1;
}

bool openInBrowser(const char *url) {
    // A grandchild runs the opener, so that nothing is left for this process to wait for.
    pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::fork() == 0) {
            int quiet = ::open("/dev/null", O_RDWR);
            if (quiet >= 0) {
                ::dup2(quiet, STDIN_FILENO);
                ::dup2(quiet, STDOUT_FILENO);
                ::dup2(quiet, STDERR_FILENO);
            }
            ::execlp("xdg-open", "xdg-open", url, static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() {
    return interrupted != 0;
}

} // namespace platform

} // namespace qarvex
