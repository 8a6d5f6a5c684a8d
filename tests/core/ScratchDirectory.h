// A fresh, empty temporary directory for one test, removed with everything in it afterwards.
// enter() makes it the current directory until the object goes away.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace qarvex {

class ScratchDirectory {
public:
    ScratchDirectory() {
        std::random_device random;
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            path = base / ("qarvex-test-" + std::to_string(random()) + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(path, error))
                break;
            if (error)
                throw std::filesystem::filesystem_error("cannot create a scratch directory", path, error);
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!previous.empty())
            std::filesystem::current_path(previous, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    void enter() {
        if (previous.empty())
            previous = std::filesystem::current_path();
        std::filesystem::current_path(path);
    }

    std::string file(const std::string &name) const { return (path / name).string(); }

    // Writes bytes to name (created or replaced) and returns the full path.
    std::string write(const std::string &name, const std::string &bytes) const {
        std::string full = file(name);
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        return full;
    }

    // The whole content of name, or an empty text when it does not exist.
    std::string read(const std::string &name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool exists(const std::string &name) const { return std::filesystem::exists(path / name); }

    std::filesystem::path path;

private:
    std::filesystem::path previous;
};

} // namespace qarvex
