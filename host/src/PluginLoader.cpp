#include "PluginLoader.h"

#include <vector>

namespace qvhost {
namespace {

template <class F> bool bind(HMODULE handle, const char* name, F& out, std::string* missing) {
    // void (*)() converts to and from any function pointer type without a warning.
    out = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
    if (out == nullptr && missing->empty()) *missing = name;
    return out != nullptr;
}

} // namespace

PluginModule::~PluginModule() {
    if (m_handle != nullptr) FreeLibrary(m_handle);
}

bool PluginModule::load(const std::string& path, std::string* error) {
    // Loading through the module loader runs the plug-in's application start-up, as the
    // host's loader does.
    m_handle = LoadLibraryA(path.c_str());
    if (m_handle == nullptr) {
        if (error != nullptr) *error = "cannot load " + path;
        return false;
    }
    m_path = path;
    std::string missing;
    bind(m_handle, "qvPlg_Object_CreateObject", createObject, &missing);
    bind(m_handle, "qvPlg_Object_DeleteObject", deleteObject, &missing);
    bind(m_handle, "qvPlg_GetPluginName", getPluginName, &missing);
    bind(m_handle, "qvPlg_GetPluginVersion", getPluginVersion, &missing);
    bind(m_handle, "qvPlg_GetQVPluginObjectVersion", getObjectVersion, &missing);
    bind(m_handle, "qvPlg_GetAuthorInfo", getAuthorInfo, &missing);
    bind(m_handle, "qvPlg_GetPluginActionXML", getPluginActionXML, &missing);
    bind(m_handle, "qvPlg_GetLuaVersion", getLuaVersion, &missing);
    bind(m_handle, "qvPlg_GetDependencies", getDependencies, &missing);
    bind(m_handle, "qvPlg_ShowHelpForAction", showHelpForAction, &missing);
    bind(m_handle, "qvPlg_ShowHelpForPlugin", showHelpForPlugin, &missing);
    if (missing.empty()) return true;
    if (error != nullptr) *error = "missing export " + missing;
    return false;
}

std::string PluginModule::askText(const std::function<int(char*, int*)>& function) {
    if (function == nullptr) return {};
    std::vector<char> buffer(256);
    int length = static_cast<int>(buffer.size());
    int n = function(buffer.data(), &length);
    if (n < 0 && length > static_cast<int>(buffer.size())) {
        buffer.resize(static_cast<std::size_t>(length));
        n = function(buffer.data(), &length);
    }
    return n >= 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

} // namespace qvhost
