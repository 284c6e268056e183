#pragma once

#include <functional>

class QWidget;

// How windows end. A window is never deleted while a modal loop runs: the loop's caller may hold
// the window (or a dialog it owns, often on the stack) under its exec. So a window ends by ending
// the modal dialogs it owns (done), hiding, and being deleted from the event loop once no modal
// loop is left. Every dialog runs its loop through RunModal (CHostDialog does), and every window
// that goes away goes through DestroyWindow; SIGTERM, the session's end, tray "Exit" and closing
// the main window then quit cleanly whatever is open.
namespace toolkit {

// Runs loop (the exec of a dialog or a pop-up menu) counted as an open modal loop; its result.
// Ending it means done for a dialog and close for any other window.
int RunModal(QWidget& window, const std::function<int()>& loop);
// Modal loops running now.
int ModalDepth();
// Ends the open modal loops of the windows owned by owner (itself or up its parent chain), or
// all of them when owner is null, innermost first. A dialog returns code once its loop runs
// again.
void EndModals(int code, QWidget* owner = nullptr);
// Ends the dialogs owned by window, hides it and deletes it once no modal loop runs any more.
void DestroyWindow(QWidget* window);
// After the program's event loop has ended: deletes the windows still waiting for deletion.
void DeleteEndedWindows();

}  // namespace toolkit
