// Programs started by name the way Windows finds them, documents opened through a small
// association table, and a record of every start for tests.
#include "win32/shell.h"
#include "win32/files.h"
#include "winplat/paths.h"
#include "winplat/shell.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace winplat {
namespace {

struct ShellState {
    std::mutex lock;
    std::map<std::string, std::string> associations;
    std::vector<StartedProgram> started;
    std::vector<pid_t> children;
};

ShellState& state() {
    static ShellState* s = new ShellState;
    return *s;
}

const HINSTANCE kStarted = reinterpret_cast<HINSTANCE>(42);

HINSTANCE shellCode(UINT_PTR code) {
    return reinterpret_cast<HINSTANCE>(code);
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return lower(path.substr(dot));
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::string programFolder() {
    char buffer[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "";
    std::string exe(buffer, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

// A program by a bare name is looked for in the starting program's folder, then the current
// folder, then the PATH; "Name.exe" also finds our executable "Name".
std::string findProgram(const std::string& name) {
    std::vector<std::string> candidates{name};
    if (lower(extensionOf(name)) == ".exe") candidates.push_back(name.substr(0, name.size() - 4));
    if (name.find('/') != std::string::npos) {
        for (const std::string& c : candidates)
            if (isExecutableFile(c)) return c;
        return "";
    }
    std::vector<std::string> folders{programFolder(), "./"};
    if (const char* path = std::getenv("PATH")) {
        std::string all = path;
        std::size_t start = 0;
        while (start <= all.size()) {
            const std::size_t end = all.find(':', start);
            std::string folder =
                all.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!folder.empty()) folders.push_back(folder + "/");
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    for (const std::string& folder : folders)
        for (const std::string& c : candidates)
            if (isExecutableFile(folder + c)) return folder + c;
    return "";
}

// Splits a command line at blanks, keeping double-quoted parts together.
std::vector<std::string> splitParameters(const char* parameters) {
    std::vector<std::string> words;
    if (parameters == nullptr) return words;
    std::string word;
    bool quoted = false, any = false;
    for (const char* p = parameters; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (*p == ' ' || *p == '\t')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += *p;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

HINSTANCE start(const std::string& program, const std::vector<std::string>& arguments,
                const char* directory) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (std::string& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string folder = nativePath(directory);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return shellCode(SE_ERR_FNF);
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.started.push_back({program, arguments});
    s.children.push_back(pid);
    return kStarted;
}

std::string associationFor(const std::string& document) {
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    auto found = s.associations.find(extensionOf(document));
    return found != s.associations.end() ? found->second : "";
}

} // namespace

void setAssociation(const std::string& extension, const std::string& program) {
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (program.empty())
        s.associations.erase(lower(extension));
    else
        s.associations[lower(extension)] = program;
}

void clearAssociations() {
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.associations.clear();
}

std::vector<StartedProgram> startedPrograms() {
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.started;
}

void clearStartedPrograms() {
    ShellState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.started.clear();
}

int waitForStartedPrograms() {
    std::vector<pid_t> children;
    {
        ShellState& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        children.swap(s.children);
    }
    int last = -1;
    for (pid_t pid : children) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid) last = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return last;
}

} // namespace winplat

extern "C" {

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT) {
    using namespace winplat;
    if (file == nullptr || *file == '\0') return shellCode(SE_ERR_FNF);
    if (verb != nullptr && lower(verb) != "open") return shellCode(SE_ERR_NOASSOC);
    const std::string native = nativePath(file);
    const std::string program = findProgram(native);
    if (!program.empty()) return start(program, splitParameters(parameters), directory);
    if (access(native.c_str(), F_OK) != 0) return shellCode(SE_ERR_FNF);
    const std::string opener = associationFor(native);
    if (opener.empty()) return shellCode(SE_ERR_NOASSOC);
    const std::string openerPath = findProgram(nativePath(opener.c_str()));
    if (openerPath.empty()) return shellCode(SE_ERR_FNF);
    std::vector<std::string> arguments{native};
    for (std::string& p : splitParameters(parameters))
        arguments.push_back(p);
    return start(openerPath, arguments, directory);
}

HINSTANCE FindExecutableA(LPCSTR file, LPCSTR, LPSTR result) {
    using namespace winplat;
    if (result != nullptr) *result = '\0';
    const std::string native = nativePath(file);
    if (native.empty() || access(native.c_str(), F_OK) != 0) return shellCode(SE_ERR_FNF);
    const std::string opener = associationFor(native);
    if (opener.empty()) return shellCode(SE_ERR_NOASSOC);
    if (result != nullptr) lstrcpynA(result, opener.c_str(), MAX_PATH);
    return kStarted;
}

} // extern "C"
