// Qt's own worker threads (the raster engine's helpers, the font and file-info
// threads of the file dialogs) hand data over inside the Qt libraries, which are not
// built with ThreadSanitizer, so it cannot see their synchronisation. Reports whose
// stacks run through Qt are left out; races in the program's own code still show.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:QWaitCondition\n";
}

// QProcess's vfork() looks to ThreadSanitizer like a fork whose child starts threads.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
