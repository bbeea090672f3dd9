#pragma once

class QApplication;

namespace kw {

// The application: prepares the process and runs the main window; when the
// window has closed, the process ends.
//
// Start-up, in order: the application's name, version and icon; the Tahoma
// face registered for the interface and the watermarks; the application data
// and templates folders resolved (the data folder is created, the templates
// folder is left to the first-run template); the first-run files written
// (default preferences, the first-run template); the main window built (which
// fills the template list) and its commands connected. Shut-down: the window stops a
// batch run in progress and stores the selected template in config.ini.
//
// The program takes no command-line arguments.
class CWatermarkApp
{
public:
    explicit CWatermarkApp(QApplication &application);

    // Runs the program; returns the process's exit status.
    int run();

private:
    QApplication &m_application;
};

struct AppContext;

// Writes the files a first start needs and a later start keeps: default
// preferences when preference.xml is missing, the first-run template when
// the templates folder is missing.
void WriteFirstRunFiles(const AppContext &context);

// Sets the application's name (also its display name), version, desktop entry and
// icon.
void SetApplicationIdentity();

} // namespace kw
