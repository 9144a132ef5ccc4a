// One source for both programs; the build fixes the language (BRIMWICK_LANGUAGE).
#include "app/MainApp.h"

int main(int argc, char** argv) {
    CMainApp application(BRIMWICK_LANGUAGE);
    return application.run(argc, argv);
}
