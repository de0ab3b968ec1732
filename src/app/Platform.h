#pragma once
// What the program asks of the desktop and the machine: opening a folder or an address in the
// user's applications, and shutting the computer down after a run. Tests install their own
// implementation, so no test opens windows of other programs or powers anything off.

#include <QString>

class IPlatform {
public:
    virtual ~IPlatform() = default;
    // Opens a folder, file or web address with the desktop's default application.
    virtual bool OpenDocument(const QString& pathOrAddress) = 0;
    // Asks the system to power the computer off: logind over D-Bus, else "systemctl poweroff".
    virtual bool PowerOff() = 0;
};

// Installs the process-wide implementation (not owned); nullptr restores the real desktop.
void InstallPlatform(IPlatform* platform);
IPlatform& GetPlatform();

// Opens a folder or address through GetPlatform(); when nothing could open it (no file manager,
// no browser), says so in a message that names it. Returns whether it was opened.
bool OpenDocumentReported(const QString& pathOrAddress);
