#pragma once
#include <filesystem>
#include <string>

namespace testing_support {

// A folder of its own for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes BYTES to NAME inside the folder and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// Points the registry store (STORE, a path inside DIR) and the XDG config and
// data folders into DIR for the rest of the test; returns STORE.
std::string useStoresIn(const std::filesystem::path& dir, const std::filesystem::path& store);

} // namespace testing_support
