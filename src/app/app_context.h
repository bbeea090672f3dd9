#pragma once

#include <QString>

namespace kw {

class UserPrompts;

// The program-wide values the windows share, made once at start-up and
// passed by reference (the user-interface thread owns it).
struct AppContext
{
    QString dataFolder;      // the application data folder (settings files)
    QString templatesFolder; // templates, layers and the template index
    UserPrompts &prompts;    // every question to the user and every outside action
    // Set by the Image Resizing dialog: resize the photos of this session
    // even when the setting does not say "every time". Never stored.
    bool resizeJustThisTime = false;
    // Photos a batch renders at once; 0: one per processor core.
    int batchJobs = 0;
};

} // namespace kw
