// The module's application object and the exports that make and destroy objects.
#include "CGallimoObject.h"
#include "PluginExports.h"
#include "imgcore.h"

#include <new>

class CGallimoApp : public CWinApp {
public:
    CGallimoApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override { return CWinApp::InitInstance(); }
    int ExitInstance() override {
        deleteLibraryLock();
        return CWinApp::ExitInstance();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CGallimoApp, CWinApp)
END_MESSAGE_MAP()

CGallimoApp theApp;

extern "C" {

// Null when memory runs out; an exception of the constructor passes on, its memory released.
CPluginObject* qvPlg_Object_CreateObject() {
    return new (std::nothrow) CGallimoObject;
}

void qvPlg_Object_DeleteObject(CPluginObject* object) {
    delete object;
}

} // extern "C"
