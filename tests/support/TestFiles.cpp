#include "TestFiles.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testing_support {
namespace {

// One folder per test process, removed with everything in it when the process ends.
struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("gallimo-tests-" + std::to_string(getpid()));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& tempFolder() {
    static const TempFolder folder;
    return folder.path;
}

std::atomic<unsigned> g_counter{0};

} // namespace

TempFile::TempFile(const Bytes& contents, const std::string& extension) {
    m_path = (tempFolder() / ("f" + std::to_string(g_counter++) + extension)).string();
    std::FILE* f = std::fopen(m_path.c_str(), "wb");
    if (f != nullptr) {
        if (!contents.empty()) std::fwrite(contents.data(), 1, contents.size(), f);
        std::fclose(f);
    }
}

TempFile::~TempFile() {
    std::error_code ignored;
    fs::remove(m_path, ignored);
}

std::string suiteFile(const std::string& relative) {
    fs::path p = fs::path(GALLIMO_TESTSUITES) / relative;
    return fs::exists(p) ? p.string() : std::string();
}

std::string regressionFile(const std::string& name) {
    fs::path p = fs::path(GALLIMO_REGRESSIONS) / name;
    return fs::exists(p) ? p.string() : std::string();
}

std::vector<std::string> suiteFiles(const std::string& folder) {
    std::vector<std::string> files;
    fs::path root = fs::path(GALLIMO_TESTSUITES) / folder;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace testing_support
