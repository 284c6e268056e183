#pragma once

class CMainApp;
class QWidget;

// Runs the firmware dialog on the application's card: the cloud service's firmware, or the
// package named by LYNT_FIRMWARE_PACKAGE (a file, for working without the service).
void OpenFirmwareDialog(CMainApp& app, QWidget* owner);
