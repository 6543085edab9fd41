// qvhost: plays the host's side for Gallimo's pages.
//   qvhost info PLUGIN                 the plug-in's name, version, object version and actions
//   qvhost run PAGE [options]          places the objects at run time, runs the page's start
//                                      script, then the input; logs events and last errors
//   qvhost design PAGE [options]       places the objects at design time
// Options:
//   --input FILE        input commands (winplat/inputscript.h) fed to the page's message loop
//   --screenshot FILE   the page as a PNG once the input has run
//   --save              (design) writes the objects' property strings back into the page file
//   --properties NAME   (design) opens that object's properties dialog, driven by the input
//   --size WxH          the page's size in pixels (800x600)
#include "Page.h"
#include "PageWindow.h"
#include "winplat/inputscript.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

struct Options {
    std::string command, target, input, screenshot, properties;
    bool save = false;
    int width = 800, height = 600;
};

int usage() {
    std::cerr
        << "usage: qvhost info PLUGIN | run PAGE [--input FILE] [--screenshot FILE] [--size WxH]"
           " | design PAGE [--save] [--properties NAME] [--input FILE] [--screenshot FILE]\n";
    return 2;
}

bool parse(int argc, char** argv, Options& o) {
    if (argc < 3) return false;
    o.command = argv[1];
    o.target = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--save") {
            o.save = true;
        } else if ((a == "--input" || a == "--screenshot" || a == "--size" ||
                    a == "--properties") &&
                   i + 1 < argc) {
            const std::string value = argv[++i];
            if (a == "--properties") o.properties = value;
            if (a == "--input") o.input = value;
            if (a == "--screenshot") o.screenshot = value;
            if (a == "--size" && std::sscanf(value.c_str(), "%dx%d", &o.width, &o.height) != 2)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

int info(const std::string& path) {
    qvhost::PluginModule module;
    std::string error;
    if (!module.load(path, &error)) {
        std::cerr << "qvhost: " << error << "\n";
        return 1;
    }
    std::cout << "name " << module.name() << "\nversion " << module.version() << "\nobject version "
              << module.getObjectVersion() << "\nlua " << module.getLuaVersion() << "\n"
              << module.actionXml();
    return 0;
}

int runPage(const Options& o) {
    const bool design = o.command == "design";
    qvhost::Page page(std::cout);
    std::string error;
    winplat::InputScript script;
    if (!page.load(o.target, &error) || !page.createObjects(&error) ||
        (!o.input.empty() && !script.parseFile(o.input, &error))) {
        std::cerr << "qvhost: " << error << "\n";
        return 1;
    }
    int status = 0;
    {
        qvhost::PageWindow window(page, o.width, o.height);
        if (!design) page.connectScripts();
        window.placeObjects(design);
        if (!design && !page.runStartScript()) status = 1;
        script.attach(window.handle());
        if (design && !o.properties.empty()) {
            qvhost::PageObject* object = page.find(o.properties);
            if (object == nullptr || object->object == nullptr) {
                std::cerr << "qvhost: no object " << o.properties << "\n";
                return 1;
            }
            const int result = object->object->ShowPropertiesDialog(page.folder().c_str());
            std::cout << "dialog " << o.properties << " " << result << "\n";
        }
        window.run();
        script.detach();
        if (!o.screenshot.empty() && !window.saveScreenshot(o.screenshot)) {
            std::cerr << "qvhost: cannot save " << o.screenshot << "\n";
            status = 1;
        }
        page.collectProperties();
        for (const qvhost::PageObject& object : page.objects())
            std::cout << "properties " << object.name << " " << object.properties << "\n";
        page.destroyObjects();
    }
    if (design && o.save && !page.save(o.target, &error)) {
        std::cerr << "qvhost: " << error << "\n";
        return 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return usage();
    if (o.command == "info") return info(o.target);
    if (o.command == "run" || o.command == "design") return runPage(o);
    return usage();
}
