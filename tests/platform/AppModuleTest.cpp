#include "WindowCheck.h"
#include "mfc/mfc.h"
#include "win32/kernel.h"
#include "win32/module.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_events;
void record(const char* event) {
    g_events.push_back(event);
}

using Observe = void (*)(void (*)(const char*));
using Count = int (*)();
using Object = CWinApp* (*)();

TEST(AppModule, InitInstanceRunsAtLoadAndExitInstanceBeforeTheObjectGoes) {
    g_events.clear();
    HMODULE module = LoadLibraryA(PLATFORM_TEST_APP);
    ASSERT_NE(module, nullptr);
    auto initialised = reinterpret_cast<Count>(GetProcAddress(module, "testAppInitialised"));
    auto object = reinterpret_cast<Object>(GetProcAddress(module, "testAppObject"));
    auto observe = reinterpret_cast<Observe>(GetProcAddress(module, "testAppObserve"));
    ASSERT_TRUE(initialised && object && observe);
    EXPECT_EQ(GetProcAddress(module, "noSuchExport"), nullptr);
    EXPECT_EQ(initialised(), 1);
    EXPECT_EQ(AfxGetApp(), object());
    EXPECT_EQ(AfxGetInstanceHandle(), module);

    HMODULE again = LoadLibraryA(PLATFORM_TEST_APP);
    EXPECT_EQ(again, module);
    EXPECT_EQ(initialised(), 1) << "a second load starts nothing";
    observe(record);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(g_events.empty()) << "still loaded once";
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(g_events, (std::vector<std::string>{"exit", "destroyed"}));
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_FALSE(FreeLibrary(module));
}

// A dialog of the program whose template only the module holds.
class CTemplateFromTheModule : public CDialog {
public:
    CTemplateFromTheModule() : CDialog(7000) {}
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        EndDialog(IDOK);
        return TRUE;
    }
};

TEST(AppModule, TheHandleThatLoadLibraryGivesNamesTheModuleEverywhere) {
    HMODULE module = LoadLibraryA(PLATFORM_TEST_APP);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleA(PLATFORM_TEST_APP), module);
    EXPECT_EQ(AfxGetInstanceHandle(), module);
    EXPECT_EQ(AfxGetResourceHandle(), module);
    EXPECT_NE(GetModuleHandleA(nullptr), module);
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
    EXPECT_EQ(std::string(path), PLATFORM_TEST_APP);

    struct Case {
        const char* what;
        HMODULE where;
        int id;
        LPCSTR type;
        bool found;
    };
    const Case cases[] = {
        {"the module's text, by its handle", module, 2100, "TEXTFILE", true},
        {"the module's dialog, by its handle", module, 7000, RT_DIALOG, true},
        {"the module's text, by the resource handle", AfxGetResourceHandle(), 2100, "TEXTFILE",
         true},
        {"the module's text is not the program's", nullptr, 2100, "TEXTFILE", false},
        {"the program's text is not the module's", module, 2000, "TEXTFILE", false},
    };
    for (const Case& k : cases) {
        HRSRC found = FindResourceA(k.where, MAKEINTRESOURCEA(k.id), k.type);
        EXPECT_EQ(found != nullptr, k.found) << k.what;
        if (found == nullptr || k.id != 2100) continue;
        const auto* text = static_cast<const char*>(LockResource(LoadResource(k.where, found)));
        EXPECT_EQ(std::string(text), "Text of the module\r\n") << k.what;
    }
    {
        CTemplateFromTheModule dialog;
        EXPECT_EQ(dialog.DoModal(), IDOK) << "the template found through the resource handle";
    }
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(2100), "TEXTFILE"), nullptr)
        << "gone with the module";
    EXPECT_EQ(GetModuleHandleA(PLATFORM_TEST_APP), nullptr);
    EXPECT_EQ(GetProcAddress(module, "testAppObject"), nullptr);
}

TEST(AppModule, ARefusedInitInstanceFailsTheLoad) {
    setenv("WINPLAT_TEST_APP_REFUSES", "1", 1);
    HMODULE module = LoadLibraryA(PLATFORM_TEST_APP);
    unsetenv("WINPLAT_TEST_APP_REFUSES");
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(AfxGetApp(), nullptr) << "the module went again";
    EXPECT_EQ(LoadLibraryA("/no/such/module.qlx"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(AppModule, TheWaitCursorCountsAndRestoresWhatWasShownBefore) {
    CWinApp app;
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
    SetCursor(arrow);
    app.DoWaitCursor(1);
    EXPECT_EQ(GetCursor(), wait);
    app.DoWaitCursor(1);
    app.DoWaitCursor(-1);
    EXPECT_EQ(GetCursor(), wait) << "one is still on";
    SetCursor(arrow);
    app.DoWaitCursor(0);
    EXPECT_EQ(GetCursor(), wait) << "0 shows it again";
    app.DoWaitCursor(-1);
    EXPECT_EQ(GetCursor(), arrow);
    app.DoWaitCursor(-1);
    EXPECT_EQ(app.m_nWaitCursorCount, 0) << "never below zero";
    EXPECT_EQ(AfxGetApp(), &app);
}

} // namespace
