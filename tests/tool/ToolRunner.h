// Running the built qarvex for end-to-end tests: its whole standard output, standard error and exit
// code, with the arguments passed as a shell would pass them after quoting (no expansion).
#pragma once

#include "../volume/VolumeFixtures.h"

#include <qarvex/volume/VolumeBuilder.h>

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace qarvex {

namespace toolrun {

using fixture::Scratch;

struct ToolRun {
    std::string out;
    std::string err;
    int exitCode = -1;
};

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#ifdef _WIN32
// One argument of a Windows command line, quoted so that the runtime's splitting gives it back.
inline std::string quoted(const std::string &argument) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + '"';
}

// Text written by a Windows console program ends its lines with CR LF.
inline std::string withPlainNewlines(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}
#endif

// Runs program with arguments in directory, as a shell would after quoting: no expansion.
inline ToolRun runProgram(const std::string &program, const std::vector<std::string> &arguments,
                          const std::string &directory) {
    Scratch outputs;
    std::string outPath = outputs.path("out"), errPath = outputs.path("err");
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string commandLine = quoted(program);
    for (const std::string &argument : arguments)
        commandLine += ' ' + quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       directory.c_str(), &startup, &process)) {
        DWORD code = 0;
        WaitForSingleObject(process.hProcess, INFINITE);
        if (GetExitCodeProcess(process.hProcess, &code))
            run.exitCode = int(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = withPlainNewlines(slurp(outPath));
    run.err = withPlainNewlines(slurp(errPath));
    return run;
#else
    pid_t child = ::fork();
    if (child == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
#endif
}

// Runs the tool with arguments in directory.
inline ToolRun runTool(const std::vector<std::string> &arguments, const std::string &directory) {
    return runProgram(QARVEX_TOOL_PATH, arguments, directory);
}

#ifndef _WIN32
// Starts the tool in directory, its output thrown away, without waiting for it: the caller
// signals it, or waits for it, by its process id.
inline pid_t startTool(const std::vector<std::string> &arguments, const std::string &directory) {
    pid_t child = ::fork();
    if (child == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0 || ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        std::vector<char *> argv{const_cast<char *>(QARVEX_TOOL_PATH)};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(QARVEX_TOOL_PATH, argv.data());
        ::_exit(127);
    }
    return child;
}

inline bool isTemporary(const std::string &name) {
    return name.rfind(".qarvex-", 0) == 0 && name.size() > 5 &&
           name.compare(name.size() - 5, 5, ".part") == 0;
}

// The temporary files anywhere below root.
inline std::vector<std::string> temporariesBelow(const std::filesystem::path &root) {
    std::vector<std::string> found;
    std::error_code ignored; // a run may be making and removing files meanwhile
    for (std::filesystem::recursive_directory_iterator entry(root, ignored), end; entry != end;
         entry.increment(ignored))
        if (isTemporary(entry->path().filename().string()))
            found.push_back(entry->path().string());
    return found;
}

// Starts the tool in directory and stops it while one of its temporary files exists there, that
// is before the rename that would put the file in place; runs meanwhile (given the process id),
// then lets the run go on. Returns how it ended (waitpid status), or -1 when it was not caught
// writing (it ended first, or had just renamed its file).
inline int whileWriting(const std::vector<std::string> &arguments, const std::filesystem::path &directory,
                        const std::function<void(pid_t)> &meanwhile) {
    pid_t child = startTool(arguments, directory.string());
    int status = 0;
    while (temporariesBelow(directory).empty()) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return -1;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, SIGSTOP);
    ::waitpid(child, &status, WUNTRACED);
    if (!WIFSTOPPED(status))
        return -1;
    bool caught = !temporariesBelow(directory).empty();
    if (caught)
        meanwhile(child);
    ::kill(child, SIGCONT);
    ::waitpid(child, &status, 0);
    return caught ? status : -1;
}
#endif

// A scratch folder to make volumes in and run the tool from.
class ToolTest : public ::testing::Test {
protected:
    void volume(const std::string &name, const VolumeBuilder &builder,
                VolumeBuilder::Variant variant = VolumeBuilder::Variant::PVOL) {
        scratch.write(name, builder.build(variant));
    }
    ToolRun run(const std::vector<std::string> &arguments) {
        return runTool(arguments, scratch.directory().string());
    }
    Scratch scratch;
};

// Everything below root, one line each in name order, relative with '/' between folders: folders
// end in '/', symbolic links show where they point ("link -> target"), files show their size. The
// manifest that -x leaves is not shown: the tests of -u look at it by name.
inline std::string treeOf(const std::filesystem::path &root) {
    std::vector<std::string> lines;
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::end(it);
         ++it) {
        if (it->path().filename() == ".qarvex-manifest")
            continue;
        std::string relative = it->path().lexically_relative(root).generic_string();
        if (it->is_symlink())
            lines.push_back(relative + " -> " + std::filesystem::read_symlink(it->path()).string());
        else if (it->is_directory())
            lines.push_back(relative + "/");
        else
            lines.push_back(relative + " " + std::to_string(it->file_size()));
    }
    std::sort(lines.begin(), lines.end());
    std::string tree;
    for (const std::string &line : lines)
        tree += line + "\n";
    return tree;
}

// A reference LZH stream, or the plain file it decodes to, from the test data.
inline fixture::Bytes lzhData(const std::string &name) {
    std::ifstream file(std::string(QARVEX_TEST_DATA_DIR) + "/lzh/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return fixture::Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// RLE packets written out: a run is {count, value} with count at least 0x80 (0x80 + n repeats the
// value n times), a literal is a text whose length byte goes in front.
struct RlePacket {
    std::string literal;
    uint8_t repeat = 0;
    char value = 0;
};
inline RlePacket repeat(uint8_t count, char value) {
    return RlePacket{"", count, value};
}
inline fixture::Bytes rle(std::initializer_list<RlePacket> packets) {
    fixture::Bytes out;
    for (const RlePacket &packet : packets) {
        if (packet.repeat) {
            out.push_back(uint8_t(0x80 | packet.repeat));
            out.push_back(uint8_t(packet.value));
        } else {
            out.push_back(uint8_t(packet.literal.size()));
            out.insert(out.end(), packet.literal.begin(), packet.literal.end());
        }
    }
    return out;
}

inline std::string asText(const fixture::Bytes &bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Moves the data block of the entry at index in the file's last item block past the end of the file.
inline void pointOutsideTheFile(std::vector<uint8_t> &volume, size_t index) {
    const std::string tag = "voli";
    auto at = std::find_end(volume.begin(), volume.end(), tag.begin(), tag.end());
    ASSERT_NE(at, volume.end());
    size_t offsetField = size_t(at - volume.begin()) + 8 + index * 17 + 8;
    ASSERT_LE(offsetField + 4, volume.size());
    le::write32(volume.data() + offsetField, uint32_t(volume.size() + 1000));
}

// One entry of each method, one inside a folder, one without a dot and one without a name: the
// volume the listing, extraction and testing tests share, and what each entry decodes to.
inline VolumeBuilder allMethodsVolume() {
    VolumeBuilder builder;
    builder.add(1, "readme.txt", "Hello, volume!\n");
    builder.addCoded(0, "runs.bin", 300, 1,
                     rle({repeat(100, 'a'), {"xyz"}, repeat(127, 'b'), repeat(70, 'c')}));
    builder.addCoded(0x00C0FFEE, "docs\\prose.txt", 11358, 3, lzhData("prose.lzh"));
    builder.add(0, "NODOT", "-");
    builder.add(9, nullptr, "nameless");
    return builder;
}
inline std::string runsBin() {
    return std::string(100, 'a') + "xyz" + std::string(127, 'b') + std::string(70, 'c');
}

// One sound entry and one of each kind of damage, with what the tool reports for each.
struct Damaged {
    std::vector<uint8_t> bytes;
    std::vector<std::string> reports; // "name: why", in table order
};
inline Damaged damagedVolume() {
    VolumeBuilder builder;
    builder.add(1, "good.txt", "good");
    builder.addCoded(2, "short.bin", 100, 0, fixture::text("ten bytes!"));
    fixture::Bytes prose = lzhData("prose.lzh");
    builder.addCoded(3, "cut.txt", 11358, 3, fixture::Bytes(prose.begin(), prose.begin() + 2000));
    builder.addCoded(4, "rle.bin", 500, 1, rle({repeat(100, 'r'), repeat(100, 's')}));
    builder.addCoded(5, "method.bin", 4, 2, fixture::text("abcd"));
    builder.addCoded(6, "negative.bin", -5, 0, fixture::text("abcd"));
    builder.addCoded(7, "gone.bin", 4, 0, fixture::text("abcd"));
    Damaged damaged{builder.build(VolumeBuilder::Variant::PVOL),
                    {"short.bin: damaged: data ends before its 100 bytes",
                     "cut.txt: damaged: data ends before its 11358 bytes",
                     "rle.bin: damaged: data ends before its 500 bytes",
                     "method.bin: cannot be opened: unknown method 2",
                     "negative.bin: damaged: recorded size -5", "gone.bin: damaged: data outside the file"}};
    pointOutsideTheFile(damaged.bytes, 6);
    return damaged;
}

} // namespace toolrun

} // namespace qarvex
