// A module that holds an MFC application object, as the plug-in does. It tells an observer
// that the test sets what happens to the object as the module is unloaded.
#include "mfc/mfc.h"

#include <cstdlib>

namespace {

using Observer = void (*)(const char* event);
Observer g_observer = nullptr;
int g_initialised = 0;

void tell(const char* event) {
    if (g_observer != nullptr) g_observer(event);
}

class CTestApp : public CWinApp {
public:
    CTestApp() : CWinApp(nullptr) {}
    ~CTestApp() override { tell("destroyed"); }
    BOOL InitInstance() override {
        ++g_initialised;
        if (std::getenv("WINPLAT_TEST_APP_REFUSES") != nullptr) return FALSE;
        return CWinApp::InitInstance();
    }
    int ExitInstance() override {
        tell("exit");
        return CWinApp::ExitInstance();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
END_MESSAGE_MAP()

CTestApp theApp;

} // namespace

extern "C" __attribute__((visibility("default"))) void testAppObserve(Observer observer) {
    g_observer = observer;
}

extern "C" __attribute__((visibility("default"))) int testAppInitialised() {
    return g_initialised;
}

extern "C" __attribute__((visibility("default"))) CWinApp* testAppObject() {
    return &theApp;
}
