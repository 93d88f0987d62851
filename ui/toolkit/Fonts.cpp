#include "ui/toolkit/Fonts.h"

namespace ui {

namespace {

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

}  // namespace

bool FontInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &lf, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

const wchar_t* FaceFor(const FontDesign& design, bool (*installed)(const wchar_t*)) {
    // Left to GDI, a missing face becomes whatever it maps the character set
    // to, which for 黑体 on a Windows outside China is not a bold-looking face.
    return design.fallback && !installed(design.face) ? design.fallback : design.face;
}

}  // namespace ui
