// qvhost: plays the host's side for Gallimo's pages.
//   qvhost info PLUGIN              the plug-in's name, version, object version and actions
//   qvhost run PAGE                 places the objects at run time and runs the page's scripts
//   qvhost design PAGE [--save]     places the objects at design time; --save writes back
//                                   the property strings they hand out
#include "Page.h"

#include <cstring>
#include <iostream>

namespace {

int usage() {
    std::cerr << "usage: qvhost info PLUGIN | run PAGE | design PAGE [--save]\n";
    return 2;
}

int info(const std::string& path) {
    qvhost::PluginModule module;
    std::string error;
    if (!module.load(path, &error)) {
        std::cerr << "qvhost: " << error << "\n";
        return 1;
    }
    std::cout << "name " << module.name() << "\nversion " << module.version()
              << "\nobject version " << module.getObjectVersion() << "\nlua "
              << module.getLuaVersion() << "\n"
              << module.actionXml();
    return 0;
}

int runPage(const std::string& path, bool design, bool save) {
    qvhost::Page page(std::cout);
    std::string error;
    if (!page.load(path, &error) || !page.createObjects(&error)) {
        std::cerr << "qvhost: " << error << "\n";
        return 1;
    }
    if (design) {
        page.collectProperties();
        if (save && !page.save(path, &error)) {
            std::cerr << "qvhost: " << error << "\n";
            return 1;
        }
        return 0;
    }
    page.connectScripts();
    return page.runStartScript() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    if (command == "info") return info(argv[2]);
    if (command == "run") return runPage(argv[2], false, false);
    if (command == "design") return runPage(argv[2], true, argc > 3 && std::strcmp(argv[3], "--save") == 0);
    return usage();
}
