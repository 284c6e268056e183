#include "effects/ui/SaveRefusal.h"

#include <QWidget>

#include "toolkit/MessageBox.h"
#include "widgets/CTipWnd.h"

namespace effects::ui {

void ShowSaveRefusal(QWidget* dialog, const SaveCheck& check, int tipDy) {
    const QString text = QString::fromUtf8(check.message);
    if (check.asTip) {
        const QPoint at =
            dialog->mapToGlobal(QPoint(dialog->width() / 2 + 20, dialog->height() / 2 + tipDy));
        CTipWnd::ShowTipAt(text, at.x(), at.y());
        return;
    }
    toolkit::SMessageBox(dialog, text, QStringLiteral("提示"),
                         toolkit::MB_OK | toolkit::MB_ICONWARNING);
}

bool AskToReplace(QWidget* dialog, const QString& position, const QString& what,
                  const QString& name) {
    const QString text =
        QStringLiteral("“%1”中已保存%2“%3”。要用新的替换它吗？").arg(position, what, name);
    return toolkit::SMessageBox(dialog, text, QStringLiteral("提示"), toolkit::MB_OKCANCEL) ==
           toolkit::IDOK;
}

}  // namespace effects::ui
