// A page in this process holding one thumbnail list object at run time, with the image files
// its tests add written into a folder of its own.
#pragma once

#include "BmpWriter.h"
#include "CGallimoObject.h"
#include "CThumbsListCtrl.h"
#include "Page.h"
#include "PageWindow.h"
#include "WindowCheck.h"

#include <filesystem>
#include <fstream>
#include <lua.hpp>
#include <sstream>
#include <string>

namespace testing_support {

class GallimoFixture : public WindowLeakCheckedTest {
protected:
    void SetUp() override {
        WindowLeakCheckedTest::SetUp();
        folder = std::filesystem::temp_directory_path() /
                 ("gallimo-object-" + std::to_string(getpid()) + "-" + std::to_string(++s_serial));
        std::filesystem::create_directories(folder);
        page = std::make_unique<qvhost::Page>(log);
        window = std::make_unique<qvhost::PageWindow>(*page, 800, 600);
        qvhost::PageObject entry;
        entry.name = "Thumbs";
        entry.rect = RECT{10, 10, 510, 330};
        object = new CGallimoObject;
        entry.object = object;
        page->objects().push_back(entry);
        run(("_SourceFolder = [[" + folder.string() + "]]").c_str());
    }
    void TearDown() override {
        page->destroyObjects();
        window.reset();
        page.reset();
        std::filesystem::remove_all(folder);
        WindowLeakCheckedTest::TearDown();
    }

    // Gives the object the page's Lua state and its run-time window.
    void placeAtRunTime() {
        object->SetLuaState(page->state());
        object->PositionRunWindow(0, window->handle(), 10, 10, 510, 330, 1, 1);
        winplatPumpMessages();
    }

    // A solid BMP of the given size in the page's folder; returns its name.
    std::string image(const std::string& name, int width, int height,
                      std::uint32_t rgb = 0x336699) {
        BmpSpec layout;
        layout.width = width;
        layout.height = height;
        layout.bitCount = 24;
        std::vector<std::vector<std::uint32_t>> rows(height,
                                                     std::vector<std::uint32_t>(width, rgb));
        layout.pixels = packBmpRows(rows, 24);
        const Bytes file = writeBmp(layout);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        return name;
    }

    // Runs a chunk in the page's state; the error text, or "" on success.
    std::string run(const char* source) {
        lua_State* L = page->state();
        if (luaL_dostring(L, source) == 0) return "";
        std::string error = lua_tostring(L, -1);
        lua_pop(L, 1);
        return error;
    }
    double number(const char* expression) {
        lua_State* L = page->state();
        luaL_dostring(L, (std::string("return ") + expression).c_str());
        const double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }
    std::string text(const char* expression) {
        lua_State* L = page->state();
        luaL_dostring(L, (std::string("return tostring(") + expression + ")").c_str());
        std::string v = lua_tostring(L, -1) != nullptr ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        return v;
    }

    // Screen point of an item's centre.
    POINT itemCentre(int item) {
        RECT r{};
        object->m_listCtrl->GetItemRect(item, &r, LVIR_ICON);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(object->m_listCtrl->GetSafeHwnd(), &p);
        return p;
    }
    void click(POINT p, bool twice = false) {
        winplatInjectMouseMove(p.x, p.y);
        for (int i = 0; i < (twice ? 2 : 1); ++i) {
            winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
            winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x, p.y);
        }
        winplatPumpMessages();
    }
    void key(UINT vk) {
        winplatInjectKey(vk, TRUE);
        winplatInjectKey(vk, FALSE);
        winplatPumpMessages();
    }
    std::size_t count(const std::string& needle) const {
        const std::string all = log.str();
        std::size_t n = 0;
        for (std::size_t at = all.find(needle); at != std::string::npos;
             at = all.find(needle, at + 1))
            ++n;
        return n;
    }

    std::ostringstream log;
    std::unique_ptr<qvhost::Page> page;
    std::unique_ptr<qvhost::PageWindow> window;
    CGallimoObject* object = nullptr;
    std::filesystem::path folder;
    static inline int s_serial = 0;
};

} // namespace testing_support
