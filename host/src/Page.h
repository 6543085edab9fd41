// A page of the host: its objects, each made by a plug-in, and the Lua state in which the
// page's scripts and the plug-ins' actions run.
#pragma once

#include "PluginLoader.h"

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct lua_State;

namespace qvhost {

struct PageObject {
    std::string plugin; // module path, relative to the page's folder unless absolute
    std::string name;
    RECT rect{};
    std::string properties;
    std::map<std::string, std::string> scripts; // event name -> Lua source
    PluginModule* module = nullptr;
    CPluginObject* object = nullptr;
};

class Page {
public:
    explicit Page(std::ostream& log);
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Reads the page file (a Lua chunk returning the page's table); false with a reason.
    bool load(const std::string& path, std::string* error);

    // Creates every object from its plug-in and hands it its property string.
    bool createObjects(std::string* error);
    // Hands every object the page's Lua state.
    void connectScripts();
    // Runs a chunk of the page in its state; false and the message logged on error.
    bool runScript(const std::string& source, const std::string& chunkName);
    bool runStartScript() { return m_start.empty() || runScript(m_start, "=start"); }

    // The property strings the objects hand back now.
    void collectProperties();
    // Writes the page file again, with the objects' current property strings.
    bool save(const std::string& path, std::string* error) const;

    void destroyObjects();

    std::vector<PageObject>& objects() { return m_objects; }
    PageObject* find(const std::string& name);
    PageObject* findByAddress(const void* address);
    lua_State* state() const { return m_lua; }
    const std::string& folder() const { return m_folder; }
    std::ostream& log() { return m_log; }
    int lastError() const { return m_lastError; }
    void setLastError(int code, bool reported);

    // Moves the focus to the next or previous object of the page; see Page.DoAutoTab.
    void autoTab(bool forward);
    // Called by the window side to learn where focus is and to give it.
    std::size_t focusedObject() const { return m_focused; }
    void setFocusedObject(std::size_t index) { m_focused = index; }

private:
    void registerGlobals();

    std::ostream& m_log;
    lua_State* m_lua = nullptr;
    std::string m_folder;
    std::string m_sourceFolder;
    std::string m_start;
    std::vector<PageObject> m_objects;
    std::map<std::string, std::unique_ptr<PluginModule>> m_modules;
    int m_lastError = 0;
    std::size_t m_focused = 0;
};

} // namespace qvhost
