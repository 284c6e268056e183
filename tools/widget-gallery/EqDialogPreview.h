#pragma once

#include <QWidget>
#include <memory>

// The equaliser dialog as a user sees it: on a workspace of its own (kept in keep, which must
// outlive the dialog), the 1 kHz band raised to +6 dB with its slider, and the card taken as
// connected (the overlay hidden; "--show forbid_device_conn_status" shows it).
std::unique_ptr<QWidget> CreateEqDialogPreview(std::shared_ptr<void>& keep);
