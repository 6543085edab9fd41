// The plug-in's outer face: the plain exports the host binds by name.
#include "PluginExports.h"

#include "StringOut.h"
#include "TextResource.h"

#include <cstring>

namespace {

constexpr int kActionXmlResource = 2000;
constexpr std::size_t kActionXmlBuffer = 50000;

const char kAuthorInfo[] = "Gallimo 1.0.2.0: a scrollable list of image thumbnails\r\n"
                           "Object plug-in for Vantor 5.x and 6.x (object interface 1)\r\n"
                           "Written by the Gallimo team";

} // namespace

extern "C" {

int qvPlg_GetPluginName(char* buffer, int* length) {
    return gallimo::copyStringOut("Gallimo", buffer, length);
}

int qvPlg_GetPluginVersion(char* buffer, int* length) {
    return gallimo::copyStringOut("1.0.2.0", buffer, length);
}

int qvPlg_GetQVPluginObjectVersion() {
    return 1;
}

int qvPlg_GetAuthorInfo(char* buffer, int* length) {
    return gallimo::copyStringOut(kAuthorInfo, buffer, length);
}

int qvPlg_GetPluginActionXML(char* buffer, int* length) {
    static char xml[kActionXmlBuffer];
    std::memset(xml, 0, sizeof xml);
    gallimo::LoadTextResource("TEXTFILE", kActionXmlResource, xml, sizeof xml);
    return gallimo::copyStringOut(xml, buffer, length);
}

const char* qvPlg_GetLuaVersion() {
    return "Lua 5.0";
}

int qvPlg_GetDependencies(char* buffer, int* length) {
    return gallimo::copyStringOut("", buffer, length);
}

} // extern "C"
