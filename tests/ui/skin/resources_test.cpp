// The resources every skinned window relies on: each skin bitmap of the catalogue at its
// size, stored as an uncompressed 24-bit bottom-up bitmap; the icon, dialogs and menus.
#include <gtest/gtest.h>
#include <windows.h>

#include "resource.h"

namespace {

struct catalogue_entry {
    int first, last, width, height;
};

const catalogue_entry catalogue[] = {
    {101, 106, 30, 21},   {113, 115, 30, 21},   {117, 117, 793, 494}, {118, 123, 320, 140},
    {124, 124, 680, 120}, {129, 132, 48, 48},   {133, 135, 70, 24},   {136, 138, 31, 21},
    {147, 147, 64, 64},   {148, 148, 460, 2},   {149, 151, 130, 24},  {167, 167, 90, 68},
    {168, 168, 5, 24},    {169, 172, 580, 21},  {173, 175, 100, 24},  {176, 178, 100, 30},
    {179, 179, 5, 5},     {180, 182, 16, 16},   {184, 186, 110, 30},  {187, 189, 120, 40},
    {190, 192, 80, 30},   {193, 193, 16, 16},   {197, 197, 48, 48},   {199, 199, 16, 16},
    {202, 202, 250, 10},  {203, 205, 117, 81},  {206, 207, 14, 14},   {208, 215, 64, 64},
    {218, 218, 117, 81},
};

const BITMAPINFOHEADER* stored_header(int id) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    if (!found) return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
}

std::wstring menu_item_text(HMENU menu, UINT position) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

}  // namespace

TEST(SkinResources, EveryCatalogueBitmapLoadsAtItsSizeIn24Bits) {
    int checked = 0;
    for (const catalogue_entry& e : catalogue) {
        for (int id = e.first; id <= e.last; ++id, ++checked) {
            SCOPED_TRACE(id);
            HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                      LR_CREATEDIBSECTION);
            ASSERT_NE(image, nullptr);
            DIBSECTION dib = {};
            ASSERT_EQ(GetObjectW(image, sizeof dib, &dib), static_cast<int>(sizeof dib));
            EXPECT_EQ(dib.dsBm.bmWidth, e.width);
            EXPECT_EQ(dib.dsBm.bmHeight, e.height);
            EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
            DeleteObject(image);

            const BITMAPINFOHEADER* stored = stored_header(id);
            ASSERT_NE(stored, nullptr);
            EXPECT_EQ(stored->biBitCount, 24);
            EXPECT_EQ(stored->biCompression, static_cast<DWORD>(BI_RGB));
            EXPECT_EQ(stored->biHeight, e.height) << "stored bottom-up";
        }
    }
    EXPECT_EQ(checked, 75);
}

TEST(SkinResources, SurfaceColoursAreCarriedInTheCorners) {
    // Pictures are drawn opaque, so their corners must match the surface below them.
    struct probe { int id; COLORREF corner; } probes[] = {
        {129, RGB(226, 240, 253)}, {130, RGB(226, 240, 253)}, {131, RGB(226, 240, 253)},
        {132, RGB(226, 240, 253)}, {147, RGB(139, 184, 241)}, {167, RGB(139, 184, 241)},
        {136, RGB(139, 184, 241)}, {133, RGB(139, 184, 241)}, {149, RGB(139, 184, 241)},
        {208, RGB(255, 255, 255)}, {215, RGB(255, 255, 255)}, {203, RGB(255, 255, 255)},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    for (const probe& p : probes) {
        SCOPED_TRACE(p.id);
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(p.id),
                                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_EQ(GetPixel(dc, 0, 0), p.corner);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
}

TEST(SkinResources, IconDialogsAndMenusArePresent) {
    HMODULE self = GetModuleHandleW(nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_MESSAGE), MAKEINTRESOURCEW(5) /* RT_DIALOG */), nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_ABOUT), MAKEINTRESOURCEW(5)), nullptr);

    HMENU main_menu = LoadMenuW(self, MAKEINTRESOURCEW(IDR_MAIN_MENU));
    ASSERT_NE(main_menu, nullptr);
    HMENU drop_down = GetSubMenu(main_menu, 0);
    ASSERT_NE(drop_down, nullptr);
    ASSERT_EQ(GetMenuItemCount(drop_down), 5);
    EXPECT_EQ(GetMenuItemID(drop_down, 1), static_cast<UINT>(ID_MENU_HELP));
    EXPECT_EQ(GetMenuItemID(drop_down, 2), static_cast<UINT>(ID_MENU_ABOUT));
    EXPECT_EQ(GetMenuItemID(drop_down, 4), static_cast<UINT>(ID_MENU_EXIT));
    DestroyMenu(main_menu);

    HMENU preview_menu = LoadMenuW(self, MAKEINTRESOURCEW(IDR_PREVIEW_MENU));
    ASSERT_NE(preview_menu, nullptr);
    HMENU popup = GetSubMenu(preview_menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    EXPECT_EQ(menu_item_text(popup, 0), L"Select All");
    EXPECT_EQ(menu_item_text(popup, 1), L"Unselect All");
    EXPECT_EQ(menu_item_text(popup, 3), L"Open Recovery Folder");
    EXPECT_EQ(GetMenuItemID(popup, 3), static_cast<UINT>(ID_PREVIEW_OPEN_FOLDER));
    DestroyMenu(preview_menu);
}
