#pragma once

// Makes CreateAudioEngine return engines on the desktop's sound server (Qt Multimedia). Call once
// after the QApplication exists; the devices' thread ends when the application does.
namespace platform::audio {

void InstallQtAudioEngine();

}  // namespace platform::audio
