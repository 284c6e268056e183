#include "GuardedApplication.h"

#include "ccm_util/LastResort.h"

bool CGuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ccm_util::LogEscapedException("CGuardedApplication::notify");
        return false;
    }
}
