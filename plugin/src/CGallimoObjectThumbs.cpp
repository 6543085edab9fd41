// Making thumbnails: each file is read, fitted into its cell, drawn on the cell's background,
// and handed to the image list as a bitmap, with an item record for the list.
#include "CFileInfo.h"
#include "CGallimoObject.h"
#include "CPluginImage.h"
#include "CThumbsListCtrl.h"
#include "Saturating.h"

#include <algorithm>

namespace {

enum AddFileCode {
    kAdded = 0,
    kNoFile = 1,
    kUnreadable = 2,
    kNoBitmap = 3,
    kRefused = 5,
    kNoCopy = 8
};

const COLORREF kTransparent = RGB(255, 0, 255);

CString labelFor(int mode, const char* path, const CFileInfo& info) {
    switch (mode) {
    case 1:
        return info.GetFileName();
    case 2:
        return CString(path);
    case 3:
        return info.GetFileTitle();
    default:
        return CString();
    }
}

} // namespace

int CGallimoObject::ComputeScalePercent(const RECT& source, const RECT& target) {
    const long long sw = static_cast<long long>(source.right) - source.left;
    const long long sh = static_cast<long long>(source.bottom) - source.top;
    const long long tw = static_cast<long long>(target.right) - target.left;
    const long long th = static_cast<long long>(target.bottom) - target.top;
    if (sw <= tw && sh <= th) return 0;
    const int byWidth =
        gallimo::saturatingInt(static_cast<double>(tw) / static_cast<double>(sw) * 100.0);
    const int byHeight =
        gallimo::saturatingInt(static_cast<double>(th) / static_cast<double>(sh) * 100.0);
    return byWidth < byHeight ? byWidth : byHeight;
}

SIZE CGallimoObject::thumbnailSize(int W, int H, int TW, int TH) const {
    const gallimo::GallimoProperties& p = m_properties;
    if (p.resizeMode == 0) {
        const bool keep = p.neverIncrease != 0 &&
                          static_cast<unsigned>(W) < static_cast<unsigned>(TW) &&
                          static_cast<unsigned>(H) < static_cast<unsigned>(TH);
        return keep ? SIZE{W, H} : SIZE{TW, TH};
    }
    const bool fits = W <= TW && H <= TH;
    long long percent = ComputeScalePercent(RECT{0, 0, W, H}, RECT{0, 0, TW, TH});
    if (!fits && percent == 0) {
        // More than a hundred times the target: a whole percentage would be 0, which reads as
        // "fits", so the exact ratio of the limiting side is taken.
        const long long tw = std::max(TW, 1), th = std::max(TH, 1);
        if (tw * H <= th * W)
            return SIZE{static_cast<LONG>(tw), static_cast<LONG>(std::max(1LL, H * tw / W))};
        return SIZE{static_cast<LONG>(std::max(1LL, W * th / H)), static_cast<LONG>(th)};
    }
    if (percent == 0) {
        if (p.neverIncrease != 0) return SIZE{W, H};
        percent = static_cast<long long>(TW) - W < static_cast<long long>(TH) - H
                      ? gallimo::saturatingInt(static_cast<double>(TW) / W * 100)
                      : gallimo::saturatingInt(static_cast<double>(TH) / H * 100);
    }
    // A side that truncates to nothing would leave the image unresized.
    return SIZE{std::max(1, gallimo::clampToInt((W + 1LL) * percent / 100)),
                std::max(1, gallimo::clampToInt((H + 1LL) * percent / 100))};
}

int CGallimoObject::AddFile(const char* path) {
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return kNoFile;
    gallimo::CPluginImage source;
    if (source.Load(path, true, gallimo::kUnknownType, 0) != 0) return kUnreadable;
    const int W = source.width, H = source.height, B = source.bitsPerPixel;
    const int cellWidth = m_properties.thumbWidth, cellHeight = m_properties.thumbHeight;
    // A cell that no canvas can hold makes no thumbnail; nothing is drawn for it.
    gallimo::CPluginImage canvas;
    if (canvas.Allocate(cellWidth, cellHeight, 24) != 0) return kNoCopy;

    CDC dc;
    dc.Attach(CreateCompatibleDC(nullptr));
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = cellWidth;
    header.biHeight = cellHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                       &bits, nullptr, 0);
    HGDIOBJ previous = section != nullptr ? SelectObject(dc, section) : nullptr;

    auto* item = new CThumbItem;
    RECT cell{0, 0, cellWidth, cellHeight};
    int TW = cellWidth, TH = cellHeight;
    if (m_properties.showFrame != 0) {
        CPen pen;
        CBrush brush;
        pen.CreatePen(PS_SOLID, 1, m_properties.drawnFrame());
        brush.CreateSolidBrush(m_properties.drawnFill());
        CPen* oldPen = dc.SelectObject(&pen);
        CBrush* oldBrush = dc.SelectObject(&brush);
        dc.Rectangle(0, 0, cellWidth, cellHeight);
        dc.SelectObject(oldPen);
        dc.SelectObject(oldBrush);
        const long long inset = 1LL + m_properties.minimumPadding;
        TW = gallimo::clampToInt(cellWidth - 2 * inset);
        TH = gallimo::clampToInt(cellHeight - 2 * inset);
    } else {
        dc.FillSolidRect(&cell, m_properties.drawnBackground());
    }

    const SIZE size = thumbnailSize(W, H, TW, TH);
    const POINT at{gallimo::clampToInt((static_cast<long long>(cellWidth) - size.cx) / 2),
                   gallimo::clampToInt((static_cast<long long>(cellHeight) - size.cy) / 2)};
    source.ResizeTo(size, 0);
    source.Draw(dc, at, nullptr);

    int code = kAdded;
    if (copyDCToRGB(dc, 0, 0, cellWidth, cellHeight, canvas.buffer) == 0) code = kNoCopy;
    HBITMAP bitmap =
        code == kAdded ? rgbToHBITMAP(canvas.buffer, cellWidth, cellHeight, nullptr, dc) : nullptr;
    if (previous != nullptr) SelectObject(dc, previous);
    if (section != nullptr) DeleteObject(section);

    if (code == kAdded) {
        if (bitmap != nullptr) {
            item->imageIndex =
                ImageList_AddMasked(m_imageList.GetSafeHandle(), bitmap, kTransparent);
            DeleteObject(bitmap);
            CFileInfo info;
            info.Query(path, 0);
            item->path = path;
            item->fileName = info.GetFileName();
            item->fileTitle = info.GetFileTitle();
            item->imageWidth = static_cast<UINT>(W);
            item->imageHeight = static_cast<UINT>(H);
            item->imageBitsPerPixel = B;
            item->label = labelFor(m_properties.labelMode, path, info);
        } else {
            code = kNoBitmap;
        }
    }
    canvas.FreeBuffer();
    DeleteDC(dc.Detach());

    if (code == kAdded) {
        POSITION added = m_items.AddTail(item);
        if (hasWindow() && m_listCtrl->InsertThumb(item, static_cast<int>(m_listCtrl->SendMessage(
                                                             LVM_GETITEMCOUNT, 0, 0))) == -1) {
            m_items.RemoveAt(added);
            delete item;
            code = kRefused;
        }
    } else {
        delete item;
    }
    return code;
}

void CGallimoObject::RebuildThumbnails() {
    CStringList paths(10);
    POSITION pos = m_items.GetHeadPosition();
    while (pos != nullptr)
        paths.AddTail(static_cast<CThumbItem*>(m_items.GetNext(pos))->path);
    RemoveAllItems();
    ResetImageList();
    if (hasWindow()) m_listCtrl->SendMessage(WM_SETREDRAW, FALSE, 0);
    pos = paths.GetHeadPosition();
    while (pos != nullptr)
        AddFile(paths.GetNext(pos));
    if (hasWindow()) {
        applyIconSpacing();
        m_listCtrl->Refill();
        m_listCtrl->SendMessage(WM_SETREDRAW, TRUE, 0);
    }
}

void CGallimoObject::ResetImageList() {
    // The image list follows the cell size even while it is empty (a size set before any file
    // is added), and one that could not be made is tried again once the object has a list.
    HIMAGELIST list = m_imageList.GetSafeHandle();
    int cx = 0, cy = 0;
    if (list == nullptr && m_listCtrl == nullptr) return;
    if (list != nullptr && ImageList_GetIconSize(list, &cx, &cy) && cx == m_properties.thumbWidth &&
        cy == m_properties.thumbHeight) {
        ImageList_Remove(list, -1);
        return;
    }
    if (list != nullptr) m_imageList.DeleteImageList();
    createImageList();
    if (hasWindow())
        m_listCtrl->SendMessage(LVM_SETIMAGELIST, LVSIL_NORMAL,
                                reinterpret_cast<LPARAM>(m_imageList.GetSafeHandle()));
}
