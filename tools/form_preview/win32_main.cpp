// form_preview.exe <directory>: the Windows build's previews. Loads each of the six
// windows with the sample contents and saves <directory>\<window>.bmp, copied from the
// screen where the window is drawn.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/form_preview/sample_texts.h"
#include "ui/forms.h"
#include "ui/win32_window_layer.h"

namespace {

// The window's pixels, bottom-up 24-bit rows as a BMP file holds them.
bool save_window(HWND window, const std::string& file) {
    RECT area{};
    GetWindowRect(window, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    const bool read = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!read) return false;

    BITMAPFILEHEADER file_header{};
    file_header.bfType = 0x4D42;  // "BM"
    file_header.bfOffBits = sizeof file_header + sizeof header;
    file_header.bfSize = file_header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file_header), sizeof file_header);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: form_preview <directory>\n");
        return 2;
    }
    const std::string directory = argv[1];
    CreateDirectoryA(directory.c_str(), nullptr);
    quillet::ui::Win32WindowLayer layer;
    quillet::ui::DialogScript dialogs;  // nothing asks; no dialog may stop the run
    quillet::ui::set_dialog_script(&dialogs);
    int failures = 0;
    for (const quillet::ui::FormDef& form : quillet::ui::all_forms()) {
        layer.load_window(form.name);
        quillet::form_preview::fill_with_samples(layer, form.name);
        layer.wait_processing_events(300);  // let the window system map and paint it
        HWND window = FindWindowW(L"QuilletForm", nullptr);
        const std::string file = directory + "\\" + std::string(form.name) + ".bmp";
        if (window == nullptr || !save_window(window, file)) {
            std::fprintf(stderr, "form_preview: could not save %s\n", file.c_str());
            ++failures;
        }
        layer.destroy_window(form.name);
        layer.process_events();
    }
    return failures == 0 ? 0 : 1;
}
