// What the shell stand-in opens documents with, and a record of what it started.
#pragma once

#include <string>
#include <vector>

namespace winplat {

// The program that opens files with this extension (".htm"); an empty program removes it.
void setAssociation(const std::string& extension, const std::string& program);
void clearAssociations();

struct StartedProgram {
    std::string program; // as resolved and started
    std::vector<std::string> arguments;
};

// Every program ShellExecuteA started, in order; tests read and clear it.
std::vector<StartedProgram> startedPrograms();
void clearStartedPrograms();

// Waits for every program started so far; the exit status of the last one, or -1.
int waitForStartedPrograms();

} // namespace winplat
