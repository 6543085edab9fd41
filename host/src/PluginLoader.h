// A plug-in module loaded by path, with its exports bound by name.
#pragma once

#include "CPluginObject.h"

#include <functional>
#include <string>

namespace qvhost {

class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // False with a reason when the module cannot be loaded or lacks an export.
    bool load(const std::string& path, std::string* error);

    using TextExport = int (*)(char* buffer, int* length);

    // Asks a text export by the string-out protocol, and again with the length it asked for.
    static std::string askText(const std::function<int(char*, int*)>& function);

    std::string name() const { return askText(getPluginName); }
    std::string version() const { return askText(getPluginVersion); }
    std::string authorInfo() const { return askText(getAuthorInfo); }
    std::string actionXml() const { return askText(getPluginActionXML); }
    std::string dependencies() const { return askText(getDependencies); }
    const std::string& path() const { return m_path; }

    CPluginObject* (*createObject)() = nullptr;
    void (*deleteObject)(CPluginObject*) = nullptr;
    TextExport getPluginName = nullptr;
    TextExport getPluginVersion = nullptr;
    int (*getObjectVersion)() = nullptr;
    TextExport getAuthorInfo = nullptr;
    TextExport getPluginActionXML = nullptr;
    const char* (*getLuaVersion)() = nullptr;
    TextExport getDependencies = nullptr;
    BOOL (*showHelpForAction)(const char*, const char*, HWND) = nullptr;
    BOOL (*showHelpForPlugin)(const char*, HWND) = nullptr;

private:
    HMODULE m_handle = nullptr;
    std::string m_path;
};

} // namespace qvhost
