#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace toolkit {

// Creates a control from one markup element, as pages that build their controls at run time
// describe them:
//   <imgbtn id="15000" class="cls_sound_btn" text="掌声" tip=".." font="size:20,bold:1"
//           inset="5,0,5,0" dotted="1" focusable="0"/>
// id becomes the control's id, class its style class, inset the padding (left, top, right,
// bottom), dotted a tool tip with the whole text, focusable 0 no focus. The control is wired to
// raise control events. Null when the markup is not one well-formed "imgbtn" element.
QPushButton* CreateImgBtnFromMarkup(const QString& markup, QWidget* parent);

}  // namespace toolkit
