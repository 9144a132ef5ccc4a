// One source for both programs; the build fixes the language (BRIMWICK_LANGUAGE).
#include "app/InfoOptions.h"
#include "app/MainApp.h"

int main(int argc, char** argv) {
    if (auto status = answerInfoOptions(argc, argv, BRIMWICK_LANGUAGE, stdout))
        return *status;
    CMainApp application(BRIMWICK_LANGUAGE);
    return application.run(argc, argv);
}
