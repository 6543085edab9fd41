// Making thumbnails: each file is read, fitted into its cell, drawn on the cell's background,
// and handed to the image list as a bitmap, with an item record for the list.
#include "CFileInfo.h"
#include "CGallimoObject.h"
#include "CPluginImage.h"
#include "CThumbsListCtrl.h"

namespace {

enum AddFileCode { kAdded = 0, kNoFile = 1, kUnreadable = 2, kNoBitmap = 3, kRefused = 5, kNoCopy = 8 };

const COLORREF kTransparent = RGB(255, 0, 255);

CString labelFor(int mode, const char* path, const CFileInfo& info) {
    switch (mode) {
    case 1: return info.GetFileName();
    case 2: return CString(path);
    case 3: return info.GetFileTitle();
    default: return CString();
    }
}

} // namespace

int CGallimoObject::ComputeScalePercent(const RECT& source, const RECT& target) {
    const int sw = source.right - source.left, sh = source.bottom - source.top;
    const int tw = target.right - target.left, th = target.bottom - target.top;
    if (sw <= tw && sh <= th) return 0;
    const int byWidth = static_cast<int>(static_cast<double>(tw) / sw * 100.0);
    const int byHeight = static_cast<int>(static_cast<double>(th) / sh * 100.0);
    return byWidth < byHeight ? byWidth : byHeight;
}

int CGallimoObject::AddFile(const char* path) {
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return kNoFile;
    gallimo::CPluginImage source;
    if (source.Load(path, true, gallimo::kUnknownType, 0) != 0) return kUnreadable;
    const int W = source.width, H = source.height, B = source.bitsPerPixel;
    const int cellWidth = m_properties.thumbWidth, cellHeight = m_properties.thumbHeight;

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
    RECT target{0, 0, cellWidth, cellHeight};
    if (m_properties.showFrame != 0) {
        CPen pen;
        CBrush brush;
        pen.CreatePen(PS_SOLID, 1, m_properties.frameColour);
        brush.CreateSolidBrush(m_properties.fillColour);
        CPen* oldPen = dc.SelectObject(&pen);
        CBrush* oldBrush = dc.SelectObject(&brush);
        dc.Rectangle(0, 0, cellWidth, cellHeight);
        dc.SelectObject(oldPen);
        dc.SelectObject(oldBrush);
        const int inset = 1 + m_properties.minimumPadding;
        InflateRect(&target, -inset, -inset);
    } else {
        dc.FillSolidRect(&target, m_properties.backgroundColour);
    }
    const int TW = target.right - target.left, TH = target.bottom - target.top;

    int w, h;
    if (m_properties.resizeMode == 0) {
        const bool keep = m_properties.neverIncrease != 0 && static_cast<unsigned>(W) < static_cast<unsigned>(TW) &&
                          static_cast<unsigned>(H) < static_cast<unsigned>(TH);
        w = keep ? W : TW;
        h = keep ? H : TH;
    } else {
        int p = ComputeScalePercent(RECT{0, 0, W, H}, target);
        if (p == 0 && m_properties.neverIncrease != 0) {
            w = W;
            h = H;
        } else {
            if (p == 0) {
                p = TW - W < TH - H ? static_cast<int>(static_cast<double>(TW) / W * 100)
                                    : static_cast<int>(static_cast<double>(TH) / H * 100);
            }
            w = (W + 1) * p / 100;
            h = (H + 1) * p / 100;
        }
    }
    const POINT at{(cellWidth - w) / 2, (cellHeight - h) / 2};
    source.ResizeTo(SIZE{w, h}, 0);
    source.Draw(dc, at, nullptr);

    int code = kAdded;
    gallimo::CPluginImage canvas;
    canvas.FreeBuffer();
    canvas.Allocate(cellWidth, cellHeight, 24);
    if (canvas.buffer == nullptr || copyDCToRGB(dc, 0, 0, cellWidth, cellHeight, canvas.buffer) == 0)
        code = kNoCopy;
    HBITMAP bitmap = code == kAdded ? rgbToHBITMAP(canvas.buffer, cellWidth, cellHeight, nullptr, dc) : nullptr;
    if (previous != nullptr) SelectObject(dc, previous);
    if (section != nullptr) DeleteObject(section);

    if (code == kAdded) {
        if (bitmap != nullptr) {
            item->imageIndex = ImageList_AddMasked(m_imageList.GetSafeHandle(), bitmap, kTransparent);
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
        if (hasWindow() &&
            m_listCtrl->InsertThumb(item, static_cast<int>(m_listCtrl->SendMessage(LVM_GETITEMCOUNT, 0, 0))) == -1) {
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
    while (pos != nullptr) paths.AddTail(static_cast<CThumbItem*>(m_items.GetNext(pos))->path);
    RemoveAllItems();
    ResetImageList();
    if (hasWindow()) m_listCtrl->SendMessage(WM_SETREDRAW, FALSE, 0);
    pos = paths.GetHeadPosition();
    while (pos != nullptr) AddFile(paths.GetNext(pos));
    if (hasWindow()) {
        m_listCtrl->SetIconSpacing(m_properties.thumbWidth + m_properties.horizontalSpacing,
                                   m_properties.thumbHeight + m_properties.verticalSpacing);
        m_listCtrl->Refill();
        m_listCtrl->SendMessage(WM_SETREDRAW, TRUE, 0);
    }
}

void CGallimoObject::ResetImageList() {
    HIMAGELIST list = m_imageList.GetSafeHandle();
    const int count = list != nullptr ? ImageList_GetImageCount(list) : 0;
    IMAGEINFO info{};
    const bool changed = count >= 1 && ImageList_GetImageInfo(list, 0, &info) &&
                         (info.rcImage.right - info.rcImage.left != m_properties.thumbWidth ||
                          info.rcImage.bottom - info.rcImage.top != m_properties.thumbHeight);
    if (list == nullptr) return;
    if (changed) {
        m_imageList.DeleteImageList();
        createImageList();
        if (m_listCtrl != nullptr && ::IsWindow(m_listCtrl->GetSafeHwnd()))
            m_listCtrl->SendMessage(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(m_imageList.GetSafeHandle()));
    } else {
        ImageList_Remove(list, -1);
    }
}
