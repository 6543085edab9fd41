// The thumbnail list object: its settings and property string, its list window at design and
// run time, its image list and item records, and its four events.
#pragma once

#include "CPluginObject.h"
#include "CThumbItem.h"
#include "GallimoProperties.h"
#include "mfc/mfc.h"
#include "win32/win32.h"

class CThumbsListCtrl;

class CGallimoObject : public CPluginObject {
public:
    CGallimoObject();
    ~CGallimoObject() override;

    SIZE GetDefaultSize() override;
    int GetFlagA() override;
    HWND GetWindowHandle() override;
    void PositionDesignWindow(int ignored, HWND parent, int left, int top, int right, int bottom,
                              int show, int ignored2) override;
    void PositionRunWindow(int ignored, HWND parent, int left, int top, int right, int bottom,
                           int visible, int enabled) override;
    void DestroyObjectWindow() override;
    int GetProperties(char* buffer, int* length) override;
    void SetProperties(char* text) override;
    int ShowPropertiesDialog(const char* helpFolder) override;
    int GetEventInfo(int index, char* buffer) override;
    int GetEventCount() override;
    int SetLuaState(lua_State* L) override;
    int GetFlagB() override;
    int GetFlagC() override;
    int GetFlagD() override;
    int GetFlagE() override;
    void FocusWindow() override;
    void ShowObjectWindow(int show) override;

    void DestroyListWindow();

    // Thumbnails.
    int AddFile(const char* path);
    static int ComputeScalePercent(const RECT& source, const RECT& target);
    void RebuildThumbnails();
    void ResetImageList();
    void RemoveAllItems();

    bool hasWindow() const;
    lua_State* luaState() const { return m_luaState; }

    char* m_events[4];
    char m_propertyText[1000];
    gallimo::GallimoProperties m_properties;
    CThumbsListCtrl* m_listCtrl;
    CImageList m_imageList;
    CObList m_items;

private:
    // Creates the list window with the style of the moment; false (and no control) on failure.
    bool placeWindow(HWND parent, const RECT& rect, DWORD style, bool retryImageList);
    DWORD windowStyle() const;
    bool createImageList();
    // The thumbnail's size for an image of W x H in a target of TW x TH.
    SIZE thumbnailSize(int W, int H, int TW, int TH) const;
    // The list view's icon spacing: the cell plus the spacing in each direction.
    void applyIconSpacing();
};
