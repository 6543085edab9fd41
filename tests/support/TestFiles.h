// Temporary files for fixtures written by the tests, and the public suites beside the repo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// A file that lives as long as the object, in a per-process temporary folder.
class TempFile {
public:
    explicit TempFile(const Bytes& contents, const std::string& extension = ".bin");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The path of a file under the public test suites, or "" when they are not there.
std::string suiteFile(const std::string& relative);
// The path of a regression input read in place, or "" when it is not there.
std::string regressionFile(const std::string& name);
// Every regular file under a folder of the public suites (sorted), empty when absent.
std::vector<std::string> suiteFiles(const std::string& folder);

} // namespace testing_support
