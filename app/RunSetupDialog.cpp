#include "app/RunSetupDialog.h"

#include "framework/AppModule.h"
#include "framework/MessageLoop.h"
#include "gui/SchemaSetupDialog.h"

namespace App {

int RunSetupDialog(int showCommand) {
    WTL::CMessageLoop loop;
    // The dialog looks its loop up while it initialises, so the loop is
    // registered first. Without that entry the dialog would run with no
    // keyboard interface; ending here is the same as a dialog that cannot be
    // created.
    if (!Module.AddMessageLoop(&loop)) return 0;

    int exitCode = 0;
    {
        GUI::SchemaSetupDialog dialog;
        if (dialog.Create(nullptr)) {
            ::ShowWindow(dialog, showCommand);
            exitCode = loop.Run();
        }
        // Unregistered on every path: the registry must not keep a pointer
        // to a loop that is about to go away.
        Module.RemoveMessageLoop();
    }
    return exitCode;
}

}  // namespace App
