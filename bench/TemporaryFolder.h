// TemporaryFolder: a fresh folder under the system's temporary folder for the files a benchmark
// makes, removed with everything in it when the object goes.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

struct TemporaryFolder {
    std::filesystem::path path;
    bool made = false;

    // Named prefix followed by the clock's count, so that runs side by side do not meet.
    explicit TemporaryFolder(const std::string &prefix) {
        path = std::filesystem::temp_directory_path() /
               (prefix + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::error_code error;
        made = std::filesystem::create_directories(path, error) && !error;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;
};
