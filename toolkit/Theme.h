#pragma once

#include <QColor>
#include <QString>

class QApplication;

namespace toolkit {

namespace theme {
// Dark and calm: blue-grey surfaces, one cyan accent.
inline const QColor kWindow{0x12, 0x16, 0x1C};
inline const QColor kPanel{0x1A, 0x20, 0x28};
inline const QColor kPanelHover{0x23, 0x2B, 0x35};
inline const QColor kRail{0x2A, 0x32, 0x3D};
inline const QColor kBorder{0x2E, 0x37, 0x42};
inline const QColor kText{0xD8, 0xE0, 0xE8};
inline const QColor kTextDim{0x8A, 0x96, 0xA3};
inline const QColor kAccent{0x00, 0xF6, 0xFF};
inline const QColor kAccentDim{0x00, 0x9C, 0xA6};
inline const QColor kWarning{0xFF, 0xB5, 0x47};
inline const QColor kDisabled{0x4A, 0x55, 0x62};
}  // namespace theme

// The installed CJK font family the theme uses ("Noto Sans CJK SC" when present), or the
// application's default family.
QString CjkFontFamily();

// Font, palette, the style sheet (:/theme/velora.qss) and the skin table (:/theme/skins.xml).
// Call after toolkit::Initialize and after the widgets' skin classes are registered.
bool ApplyTheme(QApplication* app);

}  // namespace toolkit
