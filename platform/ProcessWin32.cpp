// Win32 implementation of the process services: CreateProcess for companion programs,
// ShellExecute for the browser, a console control handler for Ctrl+C.
#include <qarvex/platform/Process.h>

#include <atomic>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>

namespace qarvex {

namespace platform {

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI noteInterrupt(DWORD) {
    interrupted = true;
    return TRUE;
}

// One argument as the C runtime splits command lines again: quoted, with backslashes before a
// quote doubled.
void appendQuoted(std::string &line, const char *argument) {
    line += '"';
    size_t backslashes = 0;
    for (const char *c = argument; *c; ++c) {
        if (*c == '\\') {
            ++backslashes;
        } else {
            line.append(*c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
        }
        if (*c != '\\')
            line += *c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

std::string systemWords(DWORD code) {
    char text[256] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        text[--length] = '\0';
    return length ? std::string(text) : "error " + std::to_string(code);
}

} // namespace

int runProgramBeside(const char *program, char *const *argv, std::string &reason) {
    char self[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        reason = "cannot tell where this program lies";
        return -1;
    }
    std::string path(self, length);
    path = path.substr(0, path.find_last_of("\\/") + 1) + program + ".exe";
    std::string line;
    appendQuoted(line, path.c_str());
    for (char *const *argument = argv + 1; *argument; ++argument) {
        line += ' ';
        appendQuoted(line, *argument);
    }
    // The program must not outlive this one: were qarvex ended from outside (with no Ctrl+C the
    // program would see), a viewer would go on serving unseen. A job whose processes end when its
    // only handle, held here, closes; the program joins it before it runs its first instruction.
    HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        ::CloseHandle(job);
        job = nullptr;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &process)) {
        reason = path + ": " + systemWords(::GetLastError());
        if (job)
            ::CloseHandle(job);
        return -1;
    }
    if (job)
        ::AssignProcessToJobObject(job, process.hProcess); // where jobs cannot nest, it runs without
    ::ResumeThread(process.hThread);
    // Ctrl+C reaches both processes; this one only waits for the program to finish.
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (job)
        ::CloseHandle(job);
    return int(status);
}

bool openInBrowser(const char *url) {
    HINSTANCE result = ::ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void catchInterrupts() {
    ::SetConsoleCtrlHandler(noteInterrupt, TRUE);
}

bool interruptRequested() {
    return interrupted;
}

} // namespace platform

} // namespace qarvex
