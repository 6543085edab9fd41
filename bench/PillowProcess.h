// A Python process (Debian's /usr/bin/python3 with python3-pil) that says "ready" once it has
// set up, then answers each request line with the seconds one Pillow call took.
#pragma once

#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class PillowProcess {
public:
    // `script` beside this file, run with `args`.
    PillowProcess(const char* script, const std::vector<std::string>& args) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        const std::string here = __FILE__;
        const std::string path = here.substr(0, here.find_last_of('/') + 1) + script;
        std::vector<const char*> argv = {"/usr/bin/python3", path.c_str()};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr,
                                        const_cast<char**>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        if (spawned != 0) return;
        m_to = fdopen(toChild[1], "w");
        m_from = fdopen(fromChild[0], "r");
        char word[16] = {};
        m_ready = m_to != nullptr && m_from != nullptr && std::fscanf(m_from, "%15s", word) == 1 &&
                  std::string(word) == "ready";
    }
    ~PillowProcess() {
        if (m_to != nullptr) std::fclose(m_to);
        if (m_from != nullptr) std::fclose(m_from);
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    }
    PillowProcess(const PillowProcess&) = delete;
    PillowProcess& operator=(const PillowProcess&) = delete;

    bool ready() const { return m_ready; }

    // The seconds that the request took, or -1 when the process gave no answer.
    double seconds(const std::string& request) {
        std::fprintf(m_to, "%s\n", request.c_str());
        std::fflush(m_to);
        double s = -1;
        return std::fscanf(m_from, "%lf", &s) == 1 ? s : -1;
    }

private:
    pid_t m_pid = 0;
    std::FILE* m_to = nullptr;
    std::FILE* m_from = nullptr;
    bool m_ready = false;
};
