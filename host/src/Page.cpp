#include "Page.h"

#include "winplat/luaalloc.h"

#include <cstdint>
#include <fstream>
#include <lua.hpp>
#include <sstream>

namespace qvhost {
namespace {

Page& pageOf(lua_State* L) {
    return *static_cast<Page*>(lua_touserdata(L, lua_upvalueindex(1)));
}

int applicationSetLastError(lua_State* L) {
    pageOf(L).setLastError(static_cast<int>(lua_tonumber(L, 1)), true);
    return 0;
}

int applicationResetLastError(lua_State* L) {
    pageOf(L).setLastError(0, false);
    return 0;
}

int applicationGetLastError(lua_State* L) {
    lua_pushnumber(L, pageOf(L).lastError());
    return 1;
}

int pageGetPluginObjectPtr(lua_State* L) {
    const char* name = lua_tostring(L, 1);
    PageObject* found = name != nullptr ? pageOf(L).find(name) : nullptr;
    if (found == nullptr || found->object == nullptr) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushnumber(L, static_cast<lua_Number>(reinterpret_cast<std::uintptr_t>(found->object)));
    return 1;
}

int pageFireEvent(lua_State* L) {
    Page& page = pageOf(L);
    const auto address = reinterpret_cast<const void*>(
        static_cast<std::uintptr_t>(static_cast<std::int64_t>(lua_tonumber(L, 1))));
    const char* event = lua_tostring(L, 2);
    const char* arguments = lua_tostring(L, 3);
    PageObject* object = page.findByAddress(address);
    page.log() << "event " << (object != nullptr ? object->name : "?") << " \""
               << (event != nullptr ? event : "") << "\" "
               << (arguments != nullptr ? arguments : "") << "\n";
    if (object == nullptr || event == nullptr) return 0;
    auto script = object->scripts.find(event);
    if (script == object->scripts.end()) return 0;
    // The argument text declares locals, so it must share one chunk with the script.
    std::string chunk = std::string(arguments != nullptr ? arguments : "") + "\n" + script->second;
    page.runScript(chunk, "=" + object->name + ":" + event);
    return 0;
}

int pageDoAutoTab(lua_State* L) {
    Page& page = pageOf(L);
    const bool forward = lua_toboolean(L, 1) != 0;
    page.log() << "autotab " << (forward ? "true" : "false") << "\n";
    page.autoTab(forward);
    return 0;
}

int debugGetSyntaxErrorString(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    lua_pushfstring(L, "Script error: %s", message != nullptr ? message : "");
    return 1;
}

void setFunction(lua_State* L, Page* page, const char* name, lua_CFunction f) {
    lua_pushstring(L, name);
    lua_pushlightuserdata(L, page);
    lua_pushcclosure(L, f, 1);
    lua_settable(L, -3);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string stringField(lua_State* L, int table, const char* key) {
    lua_getfield(L, table, key);
    std::string value = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
    lua_pop(L, 1);
    return value;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

} // namespace

Page::Page(std::ostream& log) : m_log(log) {
    m_lua = lua_newstate(winplat::luaHeapAlloc, nullptr);
    luaL_openlibs(m_lua);
    registerGlobals();
}

Page::~Page() {
    destroyObjects();
    lua_close(m_lua);
}

void Page::registerGlobals() {
    lua_State* L = m_lua;
    lua_newtable(L);
    setFunction(L, this, "SetLastError", applicationSetLastError);
    setFunction(L, this, "ResetLastError", applicationResetLastError);
    setFunction(L, this, "GetLastError", applicationGetLastError);
    lua_setglobal(L, "Application");
    lua_newtable(L);
    setFunction(L, this, "GetPluginObjectPtr", pageGetPluginObjectPtr);
    setFunction(L, this, "FireEvent", pageFireEvent);
    setFunction(L, this, "DoAutoTab", pageDoAutoTab);
    lua_setglobal(L, "Page");
    lua_newtable(L);
    setFunction(L, this, "GetSyntaxErrorString", debugGetSyntaxErrorString);
    lua_setglobal(L, "Debug");
}

bool Page::load(const std::string& path, std::string* error) {
    // The page file is read in a state of its own, so that it cannot reach the page's globals.
    lua_State* L = luaL_newstate();
    auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = why;
        lua_close(L);
        return false;
    };
    if (luaL_loadfile(L, path.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0)
        return fail(lua_tostring(L, -1) != nullptr ? lua_tostring(L, -1) : "cannot read page");
    if (!lua_istable(L, -1)) return fail(path + ": the page must return a table");
    const int page = lua_gettop(L);
    m_folder = folderOf(path);
    m_sourceFolder = stringField(L, page, "sourceFolder");
    if (m_sourceFolder.empty()) m_sourceFolder = m_folder;
    m_start = stringField(L, page, "start");
    lua_getfield(L, page, "objects");
    const int objects = lua_gettop(L);
    for (int i = 1; lua_istable(L, objects); ++i) {
        lua_rawgeti(L, objects, i);
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        const int entry = lua_gettop(L);
        PageObject o;
        o.plugin = stringField(L, entry, "plugin");
        o.name = stringField(L, entry, "name");
        o.properties = stringField(L, entry, "properties");
        lua_getfield(L, entry, "rect");
        LONG* corners[4] = {&o.rect.left, &o.rect.top, &o.rect.right, &o.rect.bottom};
        for (int k = 0; k < 4 && lua_istable(L, -1); ++k) {
            lua_rawgeti(L, -1, k + 1);
            *corners[k] = static_cast<LONG>(lua_tonumber(L, -1));
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
        lua_getfield(L, entry, "events");
        if (lua_istable(L, -1)) {
            lua_pushnil(L);
            while (lua_next(L, -2) != 0) {
                if (lua_isstring(L, -2) && lua_isstring(L, -1))
                    o.scripts[lua_tostring(L, -2)] = lua_tostring(L, -1);
                lua_pop(L, 1);
            }
        }
        lua_pop(L, 2);
        m_objects.push_back(std::move(o));
    }
    lua_close(L);
    lua_pushstring(m_lua, m_sourceFolder.c_str());
    lua_setglobal(m_lua, "_SourceFolder");
    return true;
}

bool Page::createObjects(std::string* error) {
    for (PageObject& o : m_objects) {
        const std::string path =
            !o.plugin.empty() && o.plugin[0] == '/' ? o.plugin : m_folder + "/" + o.plugin;
        auto& module = m_modules[path];
        if (!module) {
            module = std::make_unique<PluginModule>();
            if (!module->load(path, error)) {
                m_modules.erase(path);
                return false;
            }
        }
        o.module = module.get();
        o.object = module->createObject();
        if (o.object == nullptr) {
            if (error != nullptr) *error = "the plug-in made no object for " + o.name;
            return false;
        }
        if (!o.properties.empty()) {
            std::vector<char> writable(o.properties.begin(), o.properties.end());
            writable.push_back('\0');
            o.object->SetProperties(writable.data());
        }
    }
    return true;
}

void Page::connectScripts() {
    for (PageObject& o : m_objects)
        if (o.object != nullptr) o.object->SetLuaState(m_lua);
}

bool Page::runScript(const std::string& source, const std::string& chunkName) {
    lua_State* L = m_lua;
    const int top = lua_gettop(L);
    if (luaL_loadbuffer(L, source.data(), source.size(), chunkName.c_str()) != 0 ||
        lua_pcall(L, 0, 0, 0) != 0) {
        const char* message = lua_tostring(L, -1);
        m_log << "error " << (message != nullptr ? message : "?") << "\n";
        lua_settop(L, top);
        return false;
    }
    lua_settop(L, top);
    return true;
}

void Page::collectProperties() {
    for (PageObject& o : m_objects) {
        if (o.object == nullptr) continue;
        o.properties = PluginModule::askText(
            [&o](char* buffer, int* length) { return o.object->GetProperties(buffer, length); });
    }
}

bool Page::save(const std::string& path, std::string* error) const {
    std::ostringstream out;
    out << "return {\n";
    if (m_sourceFolder != m_folder) out << "  sourceFolder = " << quoted(m_sourceFolder) << ",\n";
    if (!m_start.empty()) out << "  start = " << quoted(m_start) << ",\n";
    out << "  objects = {\n";
    for (const PageObject& o : m_objects) {
        out << "    { plugin = " << quoted(o.plugin) << ", name = " << quoted(o.name)
            << ", rect = {" << o.rect.left << ", " << o.rect.top << ", " << o.rect.right << ", "
            << o.rect.bottom << "}, properties = " << quoted(o.properties) << ",\n      events = {";
        for (const auto& [event, script] : o.scripts)
            out << " [" << quoted(event) << "] = " << quoted(script) << ",";
        out << " } },\n";
    }
    out << "  },\n}\n";
    std::ofstream file(path, std::ios::binary);
    file << out.str();
    if (!file && error != nullptr) *error = "cannot write " + path;
    return static_cast<bool>(file);
}

void Page::destroyObjects() {
    for (PageObject& o : m_objects) {
        if (o.object == nullptr) continue;
        o.object->DestroyObjectWindow();
        if (o.module != nullptr)
            o.module->deleteObject(o.object);
        else
            delete o.object; // made by the caller, not by a module
        o.object = nullptr;
    }
}

PageObject* Page::find(const std::string& name) {
    for (PageObject& o : m_objects)
        if (o.name == name) return &o;
    return nullptr;
}

PageObject* Page::findByAddress(const void* address) {
    for (PageObject& o : m_objects)
        if (o.object == address) return &o;
    return nullptr;
}

void Page::setLastError(int code, bool reported) {
    m_lastError = code;
    if (reported) m_log << "lasterror " << code << "\n";
}

void Page::autoTab(bool forward) {
    if (m_objects.empty()) return;
    const std::size_t n = m_objects.size();
    // The object that has the focus now, whatever gave it.
    HWND focus = GetFocus();
    for (std::size_t i = 0; i < n; ++i) {
        HWND window =
            m_objects[i].object != nullptr ? m_objects[i].object->GetWindowHandle() : nullptr;
        if (window != nullptr && (window == focus || IsChild(window, focus))) m_focused = i;
    }
    m_focused = forward ? (m_focused + 1) % n : (m_focused + n - 1) % n;
    if (m_objects[m_focused].object != nullptr) m_objects[m_focused].object->FocusWindow();
}

} // namespace qvhost
